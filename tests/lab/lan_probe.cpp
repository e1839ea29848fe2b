// A small program for the network lab (lan_lab.sh): plays one side of a
// game on this network, or checks that plain datagrams pass, from inside
// a network namespace, and prints what it saw.
//
//   lan_probe announce LOCAL NAME MS   announce a game from LOCAL for MS ms, then withdraw it
//   lan_probe watch LOCAL MS           print the list of games heard at each change: "list: A N P;
//   ..." lan_probe hear LOCAL PORT MS       print "heard FROM" for each UDP datagram to LOCAL:PORT
//   lan_probe tell LOCAL TO PORT       send one UDP datagram from LOCAL to TO:PORT
//
// Each ends with the line "end".
#include "lan_game_watch.h"
#include "lan_host_announcement.h"
#include "udp_endpoint.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <string>

namespace {

constexpr const char* kPlayers = "1/2";

void PrintList(const std::vector<TLanGameEntry>& games) {
    std::string line = "list:";
    for (const TLanGameEntry& g : games)
        line += " " + g.address + " " + g.name + " " + g.players + ";";
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int RunFor(QCoreApplication& app, int ms) {
    QTimer::singleShot(ms, &app, &QCoreApplication::quit);
    return app.exec();
}

int Usage() {
    std::fprintf(stderr, "usage: lan_probe announce LOCAL NAME MS | watch LOCAL MS |"
                         " hear LOCAL PORT MS | tell LOCAL TO PORT\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return Usage();
    try {
        const std::string& mode = args[0];
        if (mode == "announce" && args.size() == 4) {
            TLanHostAnnouncement host(args[1]);
            host.Start(args[2], kPlayers);
            RunFor(app, std::stoi(args[3]));
            host.Stop();
            std::printf("withdrawn\n");
        } else if (mode == "watch" && args.size() == 3) {
            TLanGameWatch watch(args[1], PrintList);
            RunFor(app, std::stoi(args[2]));
        } else if (mode == "hear" && args.size() == 4) {
            TUDPEndpoint endpoint;
            endpoint.setLocalAddress(args[1]);
            endpoint.setLocalPort(std::stoi(args[2]));
            endpoint.OnDataReceived = [](TUDPEndpoint&, int, const std::string& from, int) {
                std::printf("heard %s\n", from.c_str());
                std::fflush(stdout);
            };
            RunFor(app, std::stoi(args[3]));
        } else if (mode == "tell" && args.size() == 4) {
            TUDPEndpoint endpoint;
            endpoint.setLocalAddress(args[1]);
            endpoint.setLocalPort(0);
            endpoint.setRemoteHost(args[2]);
            endpoint.setRemotePort(std::stoi(args[3]));
            TMemoryStream hello(std::string("hello"));
            endpoint.SendStream(hello);
        } else {
            return Usage();
        }
    } catch (const std::exception& e) {
        std::printf("error %s\n", e.what());
        return 1;
    }
    std::printf("end\n");
    return 0;
}
