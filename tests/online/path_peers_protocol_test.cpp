// The host's list of members' lobby numbers, as sent and as forged.
#include "path_peers_protocol.h"

#include <gtest/gtest.h>

namespace {

TEST(PathPeersMessage, ReadsBackWhatWasWritten) {
    const std::vector<TPathPeer> peers = {{"198.51.100.7", 12}, {"203.0.113.4", 13}};
    TQMsg msg;
    WritePathPeers(msg, peers);
    EXPECT_EQ(ReadPathPeers(msg), peers);
    TQMsg none;
    WritePathPeers(none, {});
    EXPECT_EQ(ReadPathPeers(none), std::vector<TPathPeer>{});
}

TEST(PathPeersMessage, RefusesWhatDoesNotReadExactly) {
    const auto make = [](auto fill) {
        TQMsg msg;
        fill(msg);
        return msg;
    };
    const std::pair<const char*, TQMsg> cases[] = {
        {"empty", make([](TQMsg&) {})},
        {"count as a string", make([](TQMsg& m) { m.AddStr("1"); })},
        {"count beyond the items", make([](TQMsg& m) {
             m.AddInt(2);
             m.AddStr("192.0.2.1");
             m.AddInt(3);
         })},
        {"items beyond the count", make([](TQMsg& m) {
             m.AddInt(0);
             m.AddInt(3);
         })},
        {"negative count", make([](TQMsg& m) { m.AddInt(-1); })},
        {"too many", make([](TQMsg& m) {
             m.AddInt(kMaxPathPeers + 1);
             for (int i = 0; i <= kMaxPathPeers; ++i) {
                 m.AddStr("192.0.2.1");
                 m.AddInt(i + 1);
             }
         })},
        {"items swapped", make([](TQMsg& m) {
             m.AddInt(1);
             m.AddInt(3);
             m.AddStr("192.0.2.1");
         })},
        {"no address", make([](TQMsg& m) {
             m.AddInt(1);
             m.AddStr("");
             m.AddInt(3);
         })},
        {"no number", make([](TQMsg& m) {
             m.AddInt(1);
             m.AddStr("192.0.2.1");
             m.AddInt(0);
         })},
    };
    for (const auto& [what, msg] : cases)
        EXPECT_FALSE(ReadPathPeers(msg)) << what;
}

} // namespace
