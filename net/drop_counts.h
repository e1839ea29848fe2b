// Datagrams the connection manager dropped because they did not come from
// the linked peer they claim, or claim what cannot be: counted so that
// tests and the program's log can tell an attack from a bad path.
#pragma once

struct TDropCounts {
    int unsealed = 0;        // from a linked address, without a valid seal
    int forged = 0;          // a seal that does not open: altered, or not the peer's
    int replayed = 0;        // a sealed datagram received before
    int lyingAcks = 0;       // an acknowledgement of numbers never sent
    int refusedRequests = 0; // a connect request that would replace a live link
    int heldBack = 0;        // a message refused while too many of its sender's wait
};
