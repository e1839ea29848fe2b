// The connection manager's socket in the program: a TUDPEndpoint bound to
// the manager's address and port.  It may be destroyed from inside its own
// events; the endpoint then goes from the event loop, once they returned.
#pragma once

#include "comm_environment.h"
#include "udp_endpoint.h"

#include <memory>

class TUdpDatagramSocket : public TDatagramSocket {
  public:
    TUdpDatagramSocket(const std::string& localAddress, int port, TSocketEvents events);
    ~TUdpDatagramSocket() override;
    TUdpDatagramSocket(const TUdpDatagramSocket&) = delete;
    TUdpDatagramSocket& operator=(const TUdpDatagramSocket&) = delete;

    void SendTo(const std::string& address, int port, const std::string& bytes) override;
    void Rebind(const std::string& localAddress, int port) override;
    void SetFaults(const TFaultSettings& settings) override { endpoint_->setFaults(settings); }
    const TFaultSeam* Faults() const override { return endpoint_->Faults(); }
    void SetWireTap(TOnWire tap) override { endpoint_->OnWire = std::move(tap); }

  private:
    // What the endpoint's events reach, also after this socket is gone.
    struct Shared {
        TSocketEvents events;
        int inside = 0; // events of the endpoint now running
    };
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<TUDPEndpoint> endpoint_;
};
