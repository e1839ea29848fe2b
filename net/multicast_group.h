// Where a multicast conversation takes place: an IPv4 group, a UDP port and
// the local address whose network interface carries it.  Shared by the
// sender and the receiver.
#pragma once

#include <stdexcept>
#include <string>

struct TMulticastGroup {
    std::string group; // dotted IPv4, 224.0.0.0 to 239.255.255.255
    int port = 0;
    // Dotted IPv4 address of this machine: the interface that joins and
    // sends, and the source of what is sent.  "0.0.0.0" leaves the choice
    // to the system's routes.
    std::string localAddress = "0.0.0.0";
};

// A socket that could not be made, bound or joined to its group: "Socket
// Error # N" and the text of that Windows Sockets number, as the players
// see socket errors elsewhere.
class MulticastError : public std::runtime_error {
  public:
    explicit MulticastError(int winsockError);
    int WinsockError() const { return winsockError_; }

  private:
    int winsockError_;
};
