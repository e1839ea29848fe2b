// The connection manager's settings, as TQComm's properties set them; its
// parts read them from here.
#pragma once

#include "link_proof.h"
#include "link_seal.h"
#include "peer_link.h"

#include <cstdint>
#include <functional>
#include <string>

inline constexpr uint32_t kDefaultTimeout = 1000;
inline constexpr int kIdleTickInterval = 1000; // the retry timer's interval while Timeout is 0

struct TCommSettings {
    int maxConnections = 0;
    std::string clientName;
    int32_t tavloNumber = 0;
    uint32_t timeout = kDefaultTimeout;
    uint32_t packetRetries = 0;
    int port = 0;
    std::string localAddress = "0.0.0.0";
    std::string ownVersion;
    bool reliable = true;
    TLinkTiming timing;
    uint32_t session = 0; // this program's, drawn anew at each enabling
    TLinkKeyPair keyPair;   // the links' seals are agreed with it
    // The lobby's ticket for keyPair's public key, read at each handshake
    // (the lobby renews it); unset or empty: none.
    std::function<std::string()> ownTicket;
    TTicketVerifier verifier; // unset: peers' keys are taken unchecked
    TLinkProof OwnProof() const { return {keyPair.publicKey, ownTicket ? ownTicket() : ""}; }

    // The retry timer's interval.
    TMillis TickInterval() const { return TMillis(timeout == 0 ? kIdleTickInterval : timeout); }
};
