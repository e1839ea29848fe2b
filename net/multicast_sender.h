// Sends whole datagrams to a multicast group, on the local network only:
// one hop (TTL 1), and looped back so that programs on this machine hear
// them too.  Sent from the group's local address when one is given, so a
// receiver sees that address as the sender.
#pragma once

#include "multicast_group.h"

#include <string_view>

class TMulticastSender {
  public:
    // Throws MulticastError when the socket cannot be set up.
    explicit TMulticastSender(const TMulticastGroup& group);
    ~TMulticastSender();
    TMulticastSender(const TMulticastSender&) = delete;
    TMulticastSender& operator=(const TMulticastSender&) = delete;

    // One datagram to the group; false when the system refused it (no
    // route to the group, say), with LastError saying why.
    bool Send(std::string_view bytes);
    // Windows Sockets number of the last refusal, 0 when none.
    int LastError() const { return lastError_; }

  private:
    int socket_ = -1;
    unsigned groupAddress_ = 0; // network byte order
    int port_ = 0;
    int lastError_ = 0;
};
