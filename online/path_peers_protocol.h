// The message by which a host of ours tells the members of its game, all
// of them programs of ours, the lobby player number behind each member's
// address, so that each pair of members finds a path of its own through
// the lobby (TPeerPaths).  It goes out only while every contact announced
// the extension: a program of the written protocol never sees it.
//
//   gmPathPeers  COUNT, then COUNT times: ADDRESS (string), NUMBER (integer)
#pragma once

#include "qmsg.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr int gmPathPeers = 30;
// Five seats and sixteen watchers, with room to spare.
inline constexpr int kMaxPathPeers = 32;

struct TPathPeer {
    std::string address; // the member's address as the host knows it
    int32_t number = 0;  // its lobby player number
    bool operator==(const TPathPeer&) const = default;
};

void WritePathPeers(TQMsg& msg, const std::vector<TPathPeer>& peers);
// Nothing for a message that does not read exactly as one.
std::optional<std::vector<TPathPeer>> ReadPathPeers(const TQMsg& msg);
