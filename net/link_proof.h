// What a program of the extension shows of itself so that a peer can seal
// the link between them: its public key and, where a lobby vouches for it,
// its lobby ticket.  Both travel as two string items after the written
// protocol's items of the connect request, of the host's reply and of a
// peer announcement, where a program of the written protocol never reads.
// The ticket is checked by a verifier the program sets (a lobby game); a
// program without one takes keys unchecked, which still keeps out whoever
// does not see the handshake.
#pragma once

#include "link_seal.h"
#include "qmsg.h"

#include <functional>
#include <optional>
#include <string>

struct TLinkProof {
    TLinkPublicKey key{};
    std::string ticket; // empty: none
};

// Whether the ticket names the key and the account `name`: an empty text
// when it does, else why not, for the log.
using TTicketVerifier = std::function<std::string(const std::string& ticket,
                                                  const TLinkPublicKey& key,
                                                  const std::string& name)>;

// Appends the proof's two items.
void AddProof(TQMsg& msg, const TLinkProof& proof);
// The proof in the two items from index `at`; none when they are not there
// or the key is not a key's length.
std::optional<TLinkProof> ReadProof(const TQMsg& msg, int at);
