// The connection manager's environment in the program: the steady clock,
// Qt's timers on the event loop and a UDP socket (udp_datagram_socket.h).
#pragma once

#include "comm_environment.h"

class TQtEnvironment : public TCommEnvironment {
  public:
    TLinkTime Now() const override { return TLinkClock::now(); }
    std::unique_ptr<TCommTimer> MakeTimer(std::function<void()> tick, bool singleShot) override;
    std::unique_ptr<TDatagramSocket> OpenSocket(const std::string& localAddress, int port,
                                                TSocketEvents events) override;
};
