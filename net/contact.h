// One peer of an online game, as the connection manager knows it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct TContact {
    std::string Name;        // the peer's nickname (its ClientName)
    std::string Address;     // dotted IPv4 address; every peer listens on the same port
    int32_t TavloNumber = 0; // lobby number from its connect request, else 0
};

// Contacts are shared: the contact table, the pending messages that still
// wait for a contact's acknowledgement and the game's seats all hold them,
// so a contact that leaves the table is never a freed record.
using TpContact = std::shared_ptr<TContact>;
