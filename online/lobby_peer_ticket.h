// Whether a peer of a lobby game is who it says: its ticket must be the
// lobby's (signed with the key pinned for that lobby), still valid, name
// the key the peer proved in the handshake, and be made out to the name
// the peer gives (as typed at log-in, in any case, or cut to a nickname).
// The messaging asks this of every peer it links with (TQComm's ticket
// verifier).  Plain C++.
#pragma once

#include "lobby_ticket.h"

#include <cstdint>
#include <string>
#include <string_view>

// Empty when the ticket holds; else why not, for the log.
std::string CheckPeerTicket(std::string_view ticket, const TProgramKey& provedKey,
                            const std::string& name, const TLobbyKey& lobbyKey,
                            std::int64_t nowSeconds);
