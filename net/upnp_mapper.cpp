#include "upnp_mapper.h"

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>

namespace {

constexpr int kConnectedIgd = 1;           // UPNP_GetValidIGD: a router that is online
constexpr int kConflictInMapping = 718;    // another machine holds the port
constexpr int kOnlyPermanentLeases = 725;  // IGDv1 routers that take lease 0 only
constexpr unsigned char kMulticastTtl = 2; // SSDP stays on the home network
constexpr const char* kProtocol = "UDP";
// One search, so that the discovery time bounds the whole discovery (the
// library's default list waits that long once per type).  Routers of the
// second version answer a search for the first.
constexpr const char* kRouterTypes[] = {"urn:schemas-upnp-org:device:InternetGatewayDevice:1",
                                        nullptr};
constexpr std::size_t kAddressText = 64;

std::string UpnpError(int code) {
    const char* text = strupnperror(code);
    return text ? text : "error " + std::to_string(code);
}

} // namespace

struct TUpnpMapper::TRouter {
    UPNPUrls urls{};
    IGDdatas data{};
    char lanAddress[kAddressText] = {};
    ~TRouter() { FreeUPNPUrls(&urls); }
    const char* Control() const { return urls.controlURL; }
    const char* Service() const { return data.first.servicetype; }
};

TUpnpMapper::TUpnpMapper() = default;
TUpnpMapper::~TUpnpMapper() = default;

TPortMappingResult TUpnpMapper::Map(const TPortMappingSettings& settings,
                                    const std::atomic<bool>& stop) {
    settings_ = settings;
    lease_ = std::to_string(settings.lease.count());
    TPortMappingResult r;
    r.method = TMappingMethod::UpnpIgd;
    int error = 0;
    UPNPDev* devices =
        upnpDiscoverDevices(kRouterTypes, static_cast<int>(settings.discovery.count()), nullptr,
                            nullptr, UPNP_LOCAL_PORT_ANY, 0, kMulticastTtl, &error, 0);
    auto router = std::make_unique<TRouter>();
    const int found = devices ? UPNP_GetValidIGD(devices, &router->urls, &router->data,
                                                 router->lanAddress, sizeof router->lanAddress)
                              : 0;
    freeUPNPDevlist(devices);
    if (found != kConnectedIgd) {
        r.why = found == 0 ? "no UPnP router answered" : "the UPnP router is not online";
        return r;
    }
    if (stop)
        return r;
    char external[kAddressText] = {};
    if (UPNP_GetExternalIPAddress(router->Control(), router->Service(), external) != 0 ||
        !PublicIPv4(external)) {
        r.why = std::string("the UPnP router's outside address is not public (") + external + ")";
        return r;
    }
    router_ = std::move(router);
    if (!Add(r.why)) {
        router_.reset();
        return r;
    }
    r.mapped = true;
    r.externalAddress = external;
    r.externalPort = settings.port;
    r.lease = std::chrono::seconds(std::stol(lease_));
    return r;
}

bool TUpnpMapper::Add(std::string& why) {
    const std::string port = std::to_string(settings_.port);
    int code = UPNP_AddPortMapping(router_->Control(), router_->Service(), port.c_str(),
                                   port.c_str(), router_->lanAddress, settings_.description.c_str(),
                                   kProtocol, nullptr, lease_.c_str());
    if (code == kOnlyPermanentLeases) {
        lease_ = "0";
        code = UPNP_AddPortMapping(router_->Control(), router_->Service(), port.c_str(),
                                   port.c_str(), router_->lanAddress, settings_.description.c_str(),
                                   kProtocol, nullptr, lease_.c_str());
    }
    if (code == UPNPCOMMAND_SUCCESS)
        return true;
    why = code == kConflictInMapping ? "another machine holds UDP port " + port + " on the router"
                                     : "the UPnP router refused: " + UpnpError(code);
    return false;
}

bool TUpnpMapper::Renew(std::string& why) {
    if (!router_) {
        why = "no mapping";
        return false;
    }
    return Add(why);
}

void TUpnpMapper::Unmap() {
    if (!router_)
        return;
    const std::string port = std::to_string(settings_.port);
    UPNP_DeletePortMapping(router_->Control(), router_->Service(), port.c_str(), kProtocol,
                           nullptr);
    router_.reset();
}
