#pragma once

#include <string>
#include <utility>
#include <vector>

// One request as the lobby's handlers see it, free of the socket it came on.
struct LobbyRequest {
    std::string method;      // "GET", "POST", ...
    std::string path;        // without the query
    std::string query;       // the raw text after "?", not yet decoded
    std::string body;        // the form of a POST
    std::string peerAddress; // the dotted address the request came from
};

struct LobbyReply {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers; // beyond the usual ones
};
