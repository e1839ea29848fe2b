#include "path_peers_protocol.h"

void WritePathPeers(TQMsg& msg, const std::vector<TPathPeer>& peers) {
    msg.AddInt(static_cast<int32_t>(peers.size()));
    for (const TPathPeer& peer : peers) {
        msg.AddStr(peer.address);
        msg.AddInt(peer.number);
    }
}

std::optional<std::vector<TPathPeer>> ReadPathPeers(const TQMsg& msg) {
    if (msg.ItemCount() < 1 || msg.ItemKind(0) != ikInteger)
        return std::nullopt;
    const int32_t count = msg.IntAt(0);
    if (count < 0 || count > kMaxPathPeers || msg.ItemCount() != 1 + 2 * count)
        return std::nullopt;
    std::vector<TPathPeer> peers;
    for (int i = 0; i < count; ++i) {
        const int at = 1 + 2 * i;
        if (msg.ItemKind(at) != ikString || msg.ItemKind(at + 1) != ikInteger)
            return std::nullopt;
        TPathPeer peer{msg.StrAt(at), msg.IntAt(at + 1)};
        if (peer.address.empty() || peer.number <= 0)
            return std::nullopt;
        peers.push_back(std::move(peer));
    }
    return peers;
}
