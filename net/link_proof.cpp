#include "link_proof.h"

#include <algorithm>

void AddProof(TQMsg& msg, const TLinkProof& proof) {
    msg.AddStr(std::string(proof.key.begin(), proof.key.end()));
    msg.AddStr(proof.ticket);
}

std::optional<TLinkProof> ReadProof(const TQMsg& msg, int at) {
    if (msg.ItemCount() < at + 2 || msg.ItemKind(at) != ikString ||
        msg.ItemKind(at + 1) != ikString)
        return std::nullopt;
    const std::string key = msg.StrAt(at);
    if (key.size() != kLinkKeyBytes)
        return std::nullopt;
    TLinkProof proof;
    std::copy(key.begin(), key.end(), proof.key.begin());
    proof.ticket = msg.StrAt(at + 1);
    return proof;
}
