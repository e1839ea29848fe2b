#include "natpmp_mapper.h"

#include <arpa/inet.h>
#include <sys/select.h>

#define ENABLE_STRNATPMPERR
#include <natpmp.h>

namespace {

using TClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Short enough that a stop is seen at once, whatever libnatpmp's own
// retry schedule (up to a minute in all) says.
constexpr milliseconds kWaitSlice{100};
constexpr milliseconds kUnmapLimit{1000};

std::string NatPmpError(int code) {
    const char* text = strnatpmperr(code);
    return text ? text : "error " + std::to_string(code);
}

} // namespace

struct TNatPmpMapper::TGateway {
    natpmp_t natpmp{};
    ~TGateway() { closenatpmp(&natpmp); }

    // The answer to the request just sent; NATPMP_TRYAGAIN when none came
    // by `deadline` or `stop` was set.
    int Answer(natpmpresp_t& response, TClock::time_point deadline, const std::atomic<bool>& stop) {
        for (;;) {
            if (stop || TClock::now() >= deadline)
                return NATPMP_TRYAGAIN;
            timeval retry{};
            getnatpmprequesttimeout(&natpmp, &retry);
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - TClock::now());
            const milliseconds wait = std::min(
                {left, kWaitSlice, milliseconds(retry.tv_sec * 1000 + retry.tv_usec / 1000)});
            timeval slice{0, static_cast<suseconds_t>(std::max<long>(wait.count(), 1) * 1000)};
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(natpmp.s, &readable);
            select(natpmp.s + 1, &readable, nullptr, nullptr, &slice);
            const int result = readnatpmpresponseorretry(&natpmp, &response);
            if (result != NATPMP_TRYAGAIN)
                return result;
        }
    }
};

TNatPmpMapper::TNatPmpMapper() = default;
TNatPmpMapper::~TNatPmpMapper() = default;

TPortMappingResult TNatPmpMapper::Map(const TPortMappingSettings& settings,
                                      const std::atomic<bool>& stop) {
    settings_ = settings;
    stop_ = &stop;
    TPortMappingResult r;
    r.method = TMappingMethod::NatPmp;
    auto gateway = std::make_unique<TGateway>();
    if (initnatpmp(&gateway->natpmp, 0, 0) < 0) {
        r.why = "no default gateway for NAT-PMP";
        return r;
    }
    const auto deadline = TClock::now() + settings.discovery;
    natpmpresp_t response{};
    int result = sendpublicaddressrequest(&gateway->natpmp);
    if (result >= 0)
        result = gateway->Answer(response, deadline, stop);
    if (result < 0 || response.type != NATPMP_RESPTYPE_PUBLICADDRESS) {
        r.why = result == NATPMP_TRYAGAIN ? "no NAT-PMP router answered"
                                          : "the NAT-PMP router refused: " + NatPmpError(result);
        return r;
    }
    char address[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &response.pnu.publicaddress.addr, address, sizeof address);
    if (!PublicIPv4(address)) {
        r.why = std::string("the NAT-PMP router's outside address is not public (") + address + ")";
        return r;
    }
    gateway_ = std::move(gateway);
    if (!Request(static_cast<uint32_t>(settings.lease.count()),
                 std::chrono::duration_cast<milliseconds>(deadline - TClock::now()), r, r.why)) {
        gateway_.reset();
        return r;
    }
    r.mapped = true;
    r.externalAddress = address;
    return r;
}

// Asks for (lifetime > 0) or removes (0) the mapping.
bool TNatPmpMapper::Request(uint32_t lifetime, milliseconds limit, TPortMappingResult& out,
                            std::string& why) {
    const uint16_t outside = lifetime ? settings_.port : 0;
    int result = sendnewportmappingrequest(&gateway_->natpmp, NATPMP_PROTOCOL_UDP, settings_.port,
                                           outside, lifetime);
    natpmpresp_t response{};
    if (result >= 0)
        result = gateway_->Answer(response, TClock::now() + limit, *stop_);
    if (result < 0 || response.type != NATPMP_RESPTYPE_UDPPORTMAPPING) {
        why = result == NATPMP_TRYAGAIN ? "the NAT-PMP router did not answer"
                                        : "the NAT-PMP router refused: " + NatPmpError(result);
        return false;
    }
    if (lifetime && response.pnu.newportmapping.mappedpublicport != settings_.port) {
        const std::string offered = std::to_string(response.pnu.newportmapping.mappedpublicport);
        TPortMappingResult none;
        std::string ignored;
        Request(0, kUnmapLimit, none, ignored);
        why = "the NAT-PMP router offered port " + offered + " instead";
        return false;
    }
    out.externalPort = response.pnu.newportmapping.mappedpublicport;
    out.lease = std::chrono::seconds(response.pnu.newportmapping.lifetime);
    return true;
}

bool TNatPmpMapper::Renew(std::string& why) {
    if (!gateway_) {
        why = "no mapping";
        return false;
    }
    TPortMappingResult ignored;
    return Request(static_cast<uint32_t>(settings_.lease.count()), settings_.discovery, ignored,
                   why);
}

void TNatPmpMapper::Unmap() {
    if (!gateway_)
        return;
    TPortMappingResult ignored;
    std::string why;
    // Not cut short by a stop: the removal is what the stop asks for.
    static const std::atomic<bool> never{false};
    stop_ = &never;
    Request(0, kUnmapLimit, ignored, why);
    gateway_.reset();
}
