#pragma once

#include <chrono>
#include <cstddef>
#include <httplib.h>
#include <string>

// One accepted connection as cpp-httplib reads and writes it, with the two
// limits its own stream lacks: a ceiling on what a client may send (it
// would otherwise take header lines without end) and a deadline for the
// whole exchange (its time-outs count per read, so a client sending a byte
// now and then would hold a worker for ever).
class LimitedSocketStream : public httplib::Stream {
  public:
    struct Limits {
        std::size_t maxBytesIn;
        std::chrono::milliseconds readTimeout;
        std::chrono::milliseconds writeTimeout;
        std::chrono::milliseconds deadline; // from the start of the exchange
    };

    LimitedSocketStream(socket_t socket, const Limits& limits);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* data, size_t size) override;
    ssize_t write(const char* data, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override;

  private:
    bool WaitFor(short events, std::chrono::milliseconds timeout) const;

    socket_t socket_;
    std::size_t bytesLeft_;
    std::chrono::milliseconds readTimeout_;
    std::chrono::milliseconds writeTimeout_;
    std::chrono::steady_clock::time_point deadline_;
};
