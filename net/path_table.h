// The path of each contact's datagrams.  By default a contact is reached
// at its address (read at each send: the outsider's changes) through the
// socket; a path set for a contact replaces that until it is cleared or
// the contact is gone.  A datagram sent to an address rather than to a
// contact (an acknowledgement or a refusal, back to where a message came
// from), or to a contact without a path of its own, takes the path of the
// contact at that address, if one has a path.
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
    void SendTo(const std::string& address, const std::string& bytes);

    bool HasPathAt(const std::string& address) { return PathAt(address) != nullptr; }

    void SetPath(const TpContact& contact, std::shared_ptr<TDatagramPath> path);
    void ClearPath(const TpContact& contact);

  private:
    std::shared_ptr<TDatagramPath> PathOf(const TpContact& contact);
    std::shared_ptr<TDatagramPath> PathAt(const std::string& address);

    TSendTo sendTo_;
    // Few entries: one per contact with a path of its own.
    std::vector<std::pair<std::weak_ptr<TContact>, std::shared_ptr<TDatagramPath>>> paths_;
};
