#pragma once

#include "client_address.h"
#include "rate_limiter.h"

#include <chrono>
#include <cstddef>
#include <string>

// How the lobby's HTTP side treats connections: where it listens and how
// much it takes from any client.
struct ServerSettings {
    std::string address = "0.0.0.0";
    int port = 80; // 0: any free port
    // Requests being answered at once (each may wait on the database), and
    // requests waiting for one of those threads; beyond that, 503.
    std::size_t threads = 4;
    std::size_t maxQueued = 1024;
    // Connections open at once, and from one address (0: no limit); beyond
    // that a new connection is answered 503 and closed. Trusted proxies
    // carry many clients and have no per-address limit.
    std::size_t maxConnections = 2048;
    std::size_t maxConnectionsPerAddress = 64;
    // Requests from one client address (perSecond 0: no limit); beyond,
    // 429. An IPv6 client counts by its /64.
    RateLimiter::Rule requestsPerAddress{50, 100};
    // A whole request (line, header lines and body) must have arrived this
    // long after the connection was accepted or the previous reply sent.
    std::chrono::milliseconds requestDeadline{10000};
    std::chrono::milliseconds writeTimeout{10000}; // for a whole reply
    std::size_t maxHeaderBytes = 8192;             // request line and header lines
    std::size_t maxPayload = 8192;                 // a form of three short fields
    std::size_t maxTargetLength = 2048;            // the game's longest request is a few hundred
    // A candidate post carries its blob (up to 4 KiB) in the query.
    std::size_t maxCandidateTargetLength = 6144;
    TrustedProxies trustedProxies;
};
