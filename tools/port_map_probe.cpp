// Asks the router for a port mapping the way a hosting game does, run by
// hand or by the router lab inside a network namespace; it also listens on
// the mapped port and says what arrives there.
//
//   port_map_probe [--port P] [--lease SECONDS] [--discovery MS]
//                  [--upnp-only | --natpmp-only]
//   port_map_probe --knock ADDRESS [--port P] [--from PORT]
//
// It prints, one line each:
//   mapped METHOD-WORDS... ADDRESS PORT LEASE MS     e.g. "mapped NAT-PMP 11.0.3.2 3237 60 12"
//   unmapped MS WHY
//   renewed | lost WHY
//   datagram FROM-ADDRESS FROM-PORT
//   removed       after "remove", once the router has been told
// and reads:
//   remove        the game ended: the mapping goes (it keeps listening)
// The end of its input ends it (the mapping goes first).  With --knock it
// sends one datagram from port P (or --from) to ADDRESS:P and exits.
#include "port_mapping.h"
#include "udp_endpoint.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

long long MillisSince(TClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - t).count();
}

int Knock(const std::string& address, int port, int from) {
    TUDPEndpoint endpoint;
    endpoint.setLocalPort(from);
    endpoint.setRemoteHost(address);
    endpoint.setRemotePort(port);
    TMemoryStream knock;
    knock.Write("knock");
    endpoint.SendStream(knock);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TPortMappingSettings settings;
    std::string knock;
    int from = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const std::string a = args[i].toStdString();
        const auto value = [&] {
            return i + 1 < args.size() ? args[++i].toStdString() : std::string("0");
        };
        if (a == "--port")
            settings.port = static_cast<uint16_t>(std::stoi(value()));
        else if (a == "--lease")
            settings.lease = std::chrono::seconds(std::stol(value()));
        else if (a == "--discovery")
            settings.discovery = std::chrono::milliseconds(std::stol(value()));
        else if (a == "--upnp-only")
            settings.natpmp = false;
        else if (a == "--natpmp-only")
            settings.upnp = false;
        else if (a == "--knock")
            knock = value();
        else if (a == "--from")
            from = std::stoi(value());
        else {
            std::cerr << "port_map_probe: unknown option " << a << "\n";
            return 2;
        }
    }
    if (!knock.empty())
        return Knock(knock, settings.port, from ? from : settings.port);

    TUDPEndpoint listener;
    listener.setLocalPort(settings.port);
    listener.OnDataReceived = [](TUDPEndpoint&, int, const std::string& from, int port) {
        Say("datagram " + from + " " + std::to_string(port));
    };

    const auto started = TClock::now();
    auto mapping = std::make_unique<TPortMapping>(settings);
    mapping->OnResult = [&](const TPortMappingResult& r) {
        if (r.mapped)
            Say(std::string("mapped ") + MappingMethodName(r.method) + " " + r.externalAddress +
                " " + std::to_string(r.externalPort) + " " + std::to_string(r.lease.count()) + " " +
                std::to_string(MillisSince(started)));
        else
            Say("unmapped " + std::to_string(MillisSince(started)) + " " + r.why);
    };
    mapping->OnRenewed = [] { Say("renewed"); };
    mapping->OnLost = [](const std::string& why) { Say("lost " + why); };
    mapping->Start();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            mapping.reset();
            Say("ended");
            app.quit();
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            if (pending.substr(0, end) == "remove" && mapping) {
                mapping.reset(); // waits for the removal
                Say("removed");
            }
            pending.erase(0, end + 1);
        }
    });
    return app.exec();
}
