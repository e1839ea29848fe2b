// The seal of a link: two programs agree on keys, each datagram opens once
// at the other end and nowhere else, and nothing altered, replayed or
// sealed by a third party opens; and the host's cookie.
#include "link_cookie.h"
#include "link_seal.h"
#include "net_test_support.h"
#include "qmsg.h"

#include <gtest/gtest.h>

namespace {

using TOpened = TLinkSeal::TOpened;

std::string Plain(int kind, const std::string& text, uint32_t session, uint32_t sequence) {
    TQMsg msg;
    msg.MsgType = kind;
    msg.AddInt(7);
    msg.AddStr(text);
    return msg.EncodeWithTrailer(EncodeTrailer({kTrailerSequenced, session, sequence, 3, 0}));
}

struct Pair {
    Pair()
        : annKeys(TLinkKeyPair::Generate()), bobKeys(TLinkKeyPair::Generate()),
          ann(*TLinkSeal::Agree(annKeys, kAnnSession, bobKeys.publicKey, kBobSession)),
          bob(*TLinkSeal::Agree(bobKeys, kBobSession, annKeys.publicKey, kAnnSession)) {}
    static constexpr uint32_t kAnnSession = 11, kBobSession = 22;
    TLinkKeyPair annKeys, bobKeys;
    TLinkSeal ann, bob;
};

TEST(LinkSeal, EachEndOpensWhatTheOtherSealedAndTheItemsAreHidden) {
    Pair p;
    for (int n = 0; n < 3; ++n) {
        const std::string fromAnn = Plain(2, "meet at the blue corner", Pair::kAnnSession, n);
        const std::string sealed = p.ann.Seal(fromAnn);
        EXPECT_EQ(sealed.size(), fromAnn.size() + kSealBytes);
        EXPECT_EQ(sealed.find("blue corner"), std::string::npos);
        TLinkTrailer trailer;
        ASSERT_TRUE(TLinkSeal::LooksSealed(sealed, trailer));
        EXPECT_EQ(trailer.session, Pair::kAnnSession);
        std::string opened;
        ASSERT_EQ(p.bob.Open(sealed, opened), TOpened::Fresh);
        EXPECT_EQ(opened, fromAnn);

        const std::string fromBob = Plain(mtAck, "", Pair::kBobSession, 0);
        ASSERT_EQ(p.ann.Open(p.bob.Seal(fromBob), opened), TOpened::Fresh);
        EXPECT_EQ(opened, fromBob);
    }
    // A datagram sealed for Bob does not open at Ann (each way has its key).
    std::string opened;
    EXPECT_EQ(p.ann.Open(p.ann.Seal(Plain(2, "x", 11, 9)), opened), TOpened::Forged);
}

TEST(LinkSeal, NothingAlteredReplayedOrSealedByAnotherOpens) {
    Pair p;
    const std::string plain = Plain(2, "move", Pair::kAnnSession, 0);
    std::vector<std::string> sealed;
    for (int n = 0; n < 70; ++n)
        sealed.push_back(p.ann.Seal(plain));
    const std::string& first = sealed[0];
    // Offsets to alter: the header, an item, the trailer, the number, the tag.
    const std::size_t trailerAt = first.size() - kSealedTrailerBytes;
    for (std::size_t at : {std::size_t{4}, kHeaderBytes + 2, trailerAt + 6,
                           trailerAt + kTrailerBytes + 1, first.size() - 1}) {
        std::string altered = first;
        altered[at] = static_cast<char>(altered[at] ^ 0x10);
        std::string opened;
        const TOpened result = p.bob.Open(altered, opened);
        EXPECT_TRUE(result == TOpened::Forged || result == TOpened::NotSealed) << "offset " << at;
    }
    // Another program, even with Ann's session and Bob's public key.
    TLinkKeyPair eve = TLinkKeyPair::Generate();
    TLinkSeal eveSeal =
        *TLinkSeal::Agree(eve, Pair::kAnnSession, p.bobKeys.publicKey, Pair::kBobSession);
    std::string opened;
    EXPECT_EQ(p.bob.Open(eveSeal.Seal(plain), opened), TOpened::Forged);
    EXPECT_EQ(p.bob.Open(plain, opened), TOpened::NotSealed);
    EXPECT_EQ(p.bob.Open(first.substr(0, first.size() - 1), opened), TOpened::NotSealed);

    // Out of order within the window: each once.
    EXPECT_EQ(p.bob.Open(sealed[65], opened), TOpened::Fresh);
    EXPECT_EQ(p.bob.Open(sealed[10], opened), TOpened::Fresh);
    EXPECT_EQ(p.bob.Open(sealed[10], opened), TOpened::Replayed);
    EXPECT_EQ(p.bob.Open(sealed[65], opened), TOpened::Replayed);
    EXPECT_EQ(p.bob.Open(sealed[1], opened), TOpened::Replayed) << "beyond the window";
    EXPECT_EQ(p.bob.Open(sealed[66], opened), TOpened::Fresh);
    EXPECT_EQ(opened, plain);

    // The same programs in other sessions have other keys.
    TLinkSeal later = *TLinkSeal::Agree(p.annKeys, 12, p.bobKeys.publicKey, Pair::kBobSession);
    TLinkSeal bobAfresh =
        *TLinkSeal::Agree(p.bobKeys, Pair::kBobSession, p.annKeys.publicKey, Pair::kAnnSession);
    EXPECT_EQ(bobAfresh.Open(later.Seal(plain), opened), TOpened::Forged);
}

TEST(LinkSeal, AgreesOnlyWithAUsableKey) {
    const TLinkKeyPair own = TLinkKeyPair::Generate();
    EXPECT_FALSE(TLinkSeal::Agree(own, 5, own.publicKey, 5)) << "itself, same session";
    EXPECT_FALSE(TLinkSeal::Agree(own, 5, TLinkPublicKey{}, 6)) << "the all-zero point";
}

} // namespace

namespace {

using namespace std::chrono_literals;

// The host's cookie holds for who it was made for, for 30 to 60 seconds,
// and only from the jar that made it.
TEST(CookieJar, HoldsForItsJoinerAndItsTimeOnly) {
    const TCookieJar jar;
    const TLinkPublicKey key = TLinkKeyPair::Generate().publicKey;
    TLinkPublicKey otherKey = key;
    otherKey[31] ^= 1;
    const TLinkTime made = TLinkTime{} + 3000s; // the start of a slot
    const TCookie cookie = jar.Make("192.0.2.7", 42, key, made);
    const struct {
        const char* what;
        std::string address;
        uint32_t session;
        TLinkPublicKey key;
        TLinkTime at;
        bool holds;
    } cases[] = {
        {"at once", "192.0.2.7", 42, key, made, true},
        {"59 s later", "192.0.2.7", 42, key, made + 59s, true},
        {"60 s later", "192.0.2.7", 42, key, made + 60s, false},
        {"another address", "192.0.2.70", 42, key, made, false},
        {"another session", "192.0.2.7", 43, key, made, false},
        {"another key", "192.0.2.7", 42, otherKey, made, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(jar.Holds(cookie, c.address, c.session, c.key, c.at), c.holds) << c.what;
    EXPECT_FALSE(TCookieJar().Holds(cookie, "192.0.2.7", 42, key, made)) << "another jar";
}

} // namespace
