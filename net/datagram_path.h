// Where one peer's datagrams go, when they go some other way than to its
// address at the group's port through the socket: another route to it, or
// a link that seals what it carries.  Set per contact in TPathTable.
#pragma once

#include <string>

class TDatagramPath {
  public:
    virtual ~TDatagramPath() = default;
    // One datagram to the peer.  May throw, as the socket does.
    virtual void Send(const std::string& bytes) = 0;
};
