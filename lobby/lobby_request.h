#pragma once

#include <string>
#include <utility>
#include <vector>

// One request as the lobby's handlers see it, free of the socket it came on.
struct LobbyRequest {
    std::string method; // "GET", "POST", ...
    std::string path;   // without the query
    std::string query;  // the raw text after "?", not yet decoded
    std::string body;   // the form of a POST
    // The client's address: the socket's, or the one a trusted proxy
    // forwarded.
    std::string clientAddress;
};

struct LobbyReply {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers; // beyond the usual ones
    // The status line's text after the code; empty: the usual one. The game
    // shows it in its error box, code first, when a request fails.
    std::string reason;
    // What went wrong inside the lobby, for its log; never sent.
    std::string error;
};
