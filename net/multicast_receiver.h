// Receives the datagrams sent to a multicast group on one UDP port, through
// the Qt event loop.  Several programs on one machine may listen to the
// same group and port at once; each hears only the groups it joined.
// Datagrams longer than the receiver takes are dropped unread.  The
// receiver must not be destroyed from inside its own OnDatagram.
#pragma once

#include "multicast_group.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QSocketNotifier;

class TMulticastReceiver {
  public:
    // A datagram and the address it came from (dotted IPv4).
    using OnDatagram = std::function<void(std::string_view bytes, const std::string& from)>;

    // Joins the group at once.  Throws MulticastError when the socket
    // cannot be made, bound or joined.
    TMulticastReceiver(const TMulticastGroup& group, std::size_t maxBytes, OnDatagram onDatagram);
    ~TMulticastReceiver();
    TMulticastReceiver(const TMulticastReceiver&) = delete;
    TMulticastReceiver& operator=(const TMulticastReceiver&) = delete;

  private:
    void ReadWaiting();

    int socket_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<char> buffer_;
    OnDatagram onDatagram_;
};
