// One TCP connection over a POSIX IPv4 socket, with a time-out on every
// wait.  Failures raise ESocketError with the Windows Sockets numbers the
// players know (10061 for a refused connection, 10060 for a wait that
// expired, 11001 for a name that does not resolve).
#pragma once

#include "byte_source.h"

#include <string>
#include <string_view>

class TTcpConnection final : public TByteSource {
  public:
    // Connects to host:port before the deadline, first binding the source
    // address to localAddress (dotted IPv4) unless it is empty.
    // "localhost" in any letter case is 127.0.0.1; other names are looked
    // up.  Once cancelFd (if not -1) becomes readable, every wait of this
    // connection ends at once with ERequestCancelled.
    TTcpConnection(const std::string& host, int port, const std::string& localAddress,
                   TDeadline deadline, int cancelFd = -1);
    ~TTcpConnection() override;
    TTcpConnection(const TTcpConnection&) = delete;
    TTcpConnection& operator=(const TTcpConnection&) = delete;

    void Send(std::string_view bytes, TDeadline deadline);
    size_t Receive(char* buffer, size_t size, TDeadline deadline) override;

  private:
    void WaitOrTimeOut(short events, TDeadline deadline) const;

    int FSocket = -1;
    int FCancelFd = -1;
};
