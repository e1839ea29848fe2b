// The path of each contact's datagrams.  By default a contact is reached
// at its address (read at each send: the outsider's changes) through the
// socket; a path set for a contact replaces that until it is cleared or
// the contact is gone.  A datagram that answers one that came in, from a
// peer spoken to by the written protocol, goes back to the address it came
// from.
#pragma once

#include "contact.h"
#include "datagram_path.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TPathTable {
  public:
    // How a datagram goes to an address: through the socket, to the group's port.
    using TSendTo = std::function<void(const std::string& address, const std::string& bytes)>;

    explicit TPathTable(TSendTo sendTo) : sendTo_(std::move(sendTo)) {}

    void Send(const TpContact& contact, const std::string& bytes);
    void SendTo(const std::string& address, const std::string& bytes) { sendTo_(address, bytes); }

    void SetPath(const TpContact& contact, std::shared_ptr<TDatagramPath> path);
    void ClearPath(const TpContact& contact);

  private:
    std::shared_ptr<TDatagramPath> PathOf(const TpContact& contact);

    TSendTo sendTo_;
    // Few entries: one per contact with a path of its own.
    std::vector<std::pair<std::weak_ptr<TContact>, std::shared_ptr<TDatagramPath>>> paths_;
};
