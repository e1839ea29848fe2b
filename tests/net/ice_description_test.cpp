// The line that carries one end's ICE credentials and candidates through
// the lobby: what is read back, what is refused, what is kept when there
// are too many candidates.
#include "ice_description.h"

#include <gtest/gtest.h>

namespace {

const std::string kHead = "ice1 Xb3F Kq9mZ2v8Rk1s0dPw4tYhNc ";

TIceCandidate Candidate(TIceCandidateKind kind, uint32_t priority, const std::string& address,
                        uint16_t port = 50000, const std::string& foundation = "1") {
    return {kind, foundation, priority, address, port};
}

TEST(IceDescription, ReadsWhatItWrites) {
    const TIceDescription d{
        "Xb3F",
        "Kq9mZ2v8Rk1s0dPw4tYhNc",
        {Candidate(TIceCandidateKind::Host, 2130706431, "192.168.1.10", 50123),
         Candidate(TIceCandidateKind::Host, 2130706175, "2001:db8:1:1::10", 40000, "2"),
         Candidate(TIceCandidateKind::ServerReflexive, 1694498815, "11.0.1.2", 50123, "3"),
         Candidate(TIceCandidateKind::Relayed, 16777215, "11.0.100.2", 65535, "a+/Z")}};
    const std::string line = EncodeIceDescription(d);
    EXPECT_EQ(line, kHead + "h,1,2130706431,192.168.1.10,50123 h,2,2130706175,2001:db8:1:1::10,"
                            "40000 s,3,1694498815,11.0.1.2,50123 r,a+/Z,16777215,11.0.100.2,65535");
    EXPECT_EQ(ParseIceDescription(line), d);
}

TEST(IceDescription, WritesAddressesInOneForm) {
    const TIceDescription d = ParseIceDescription(kHead + "h,1,5,2001:DB8:0:0:0:0:0:A,7");
    EXPECT_EQ(d.candidates.at(0).address, "2001:db8::a");
}

TEST(IceDescription, RefusesWhatIsNotOne) {
    struct Case {
        std::string line;
        const char* why;
    };
    const std::string good = "h,1,5,192.168.1.10,50123";
    const Case cases[] = {
        {"", "empty"},
        {kHead, "trailing space, no candidate"},
        {"ice1 Xb3F Kq9mZ2v8Rk1s0dPw4tYhNc", "no candidate"},
        {"ice2 Xb3F Kq9mZ2v8Rk1s0dPw4tYhNc " + good, "other format"},
        {"ice1 Xb3 Kq9mZ2v8Rk1s0dPw4tYhNc " + good, "ufrag too short"},
        {"ice1 Xb3F! Kq9mZ2v8Rk1s0dPw4tYhNc " + good, "ufrag not ice-chars"},
        {"ice1 Xb3F Kq9mZ2v8Rk1s0dPw4tYhN " + good, "password too short"},
        {"ice1 Xb3F " + std::string(65, 'k') + " " + good, "password too long"},
        {kHead + " " + good, "two spaces"},
        {kHead + good + " ", "trailing space"},
        {kHead + "h,1,5,192.168.1.10", "four parts"},
        {kHead + "h,1,5,192.168.1.10,50123,9", "six parts"},
        {kHead + "p,1,5,192.168.1.10,50123", "peer-reflexive is never sent"},
        {kHead + "h,,5,192.168.1.10,50123", "empty foundation"},
        {kHead + "h," + std::string(33, 'f') + ",5,192.168.1.10,50123", "long foundation"},
        {kHead + "h,1,0,192.168.1.10,50123", "priority 0"},
        {kHead + "h,1,-5,192.168.1.10,50123", "negative priority"},
        {kHead + "h,1,+5,192.168.1.10,50123", "signed priority"},
        {kHead + "h,1,4294967296,192.168.1.10,50123", "priority above 32 bits"},
        {kHead + "h,1,5,192.168.1.10,0", "port 0"},
        {kHead + "h,1,5,192.168.1.10,65536", "port above 16 bits"},
        {kHead + "h,1,5,192.168.1.10,0050123", "port with leading zeros"},
        {kHead + "h,1,5,192.168.1,50123", "short IPv4"},
        {kHead + "h,1,5,0.0.0.0,50123", "unspecified IPv4"},
        {kHead + "h,1,5,224.0.0.251,50123", "multicast IPv4"},
        {kHead + "h,1,5,255.255.255.255,50123", "broadcast"},
        {kHead + "h,1,5,::,50123", "unspecified IPv6"},
        {kHead + "h,1,5,ff02::1,50123", "multicast IPv6"},
        {kHead + "h,1,5,fe80::1,50123", "link-local IPv6"},
        {kHead + "h,1,5,fe80::1%eth0,50123", "zone"},
        {kHead + "h,1,5,[2001:db8::1],50123", "brackets"},
        {kHead + "h,1,5,::ffff:192.168.1.10,50123", "mapped IPv4"},
        {kHead + "h,1,5,host.example,50123", "a name"},
        {kHead + std::string("h,1,5,1.2.3.4\0x,50123", 21), "NUL inside the address"},
        {kHead + "h,1,5,192.168.1.10,50123\n", "line end"},
    };
    for (const Case& c : cases)
        EXPECT_THROW(ParseIceDescription(c.line), TIceDescriptionError) << c.why;
}

TEST(IceDescription, RefusesMoreCandidatesOrBytesThanTheLimits) {
    std::string line = kHead;
    for (std::size_t i = 0; i < kMaxIceCandidates; ++i)
        line += (i ? " " : "") + std::string("h,1,5,10.0.0.1,1000");
    EXPECT_NO_THROW(ParseIceDescription(line));
    EXPECT_THROW(ParseIceDescription(line + " h,1,5,10.0.0.1,1000"), TIceDescriptionError);

    std::string longLine = kHead + "h,1,5,10.0.0.1,1000";
    longLine.resize(kMaxIceDescriptionBytes + 1, 'x');
    EXPECT_THROW(ParseIceDescription(longLine), TIceDescriptionError);
}

TEST(IceDescription, TrimmingKeepsWhatCrossesRoutersFirst) {
    TIceDescription d{"Xb3F", "Kq9mZ2v8Rk1s0dPw4tYhNc", {}};
    for (int i = 0; i < 30; ++i)
        d.candidates.push_back(Candidate(TIceCandidateKind::Host, 2000000000 + i,
                                         "2001:db8:1234:5678:9abc:def0:1234:" + std::to_string(i),
                                         65535, std::string(32, 'f')));
    d.candidates.push_back(Candidate(TIceCandidateKind::Relayed, 10, "11.0.100.2"));
    d.candidates.push_back(Candidate(TIceCandidateKind::ServerReflexive, 20, "11.0.1.2"));
    TrimIceCandidates(d);

    ASSERT_GE(d.candidates.size(), 3u);
    EXPECT_LE(d.candidates.size(), kMaxIceCandidates);
    EXPECT_EQ(d.candidates[0].kind, TIceCandidateKind::Relayed);
    EXPECT_EQ(d.candidates[1].kind, TIceCandidateKind::ServerReflexive);
    EXPECT_EQ(d.candidates[2].priority, 2000000029u) << "hosts by priority";
    const std::string line = EncodeIceDescription(d);
    EXPECT_LE(line.size(), kMaxIceDescriptionBytes);
    EXPECT_EQ(ParseIceDescription(line), d);
}

TEST(IceDescription, EncodingRefusesADescriptionBeyondTheLimits) {
    TIceDescription d{"Xb3F", "Kq9mZ2v8Rk1s0dPw4tYhNc", {}};
    EXPECT_THROW(EncodeIceDescription(d), TIceDescriptionError) << "no candidate";
    d.candidates.push_back(Candidate(TIceCandidateKind::Host, 5, "fe80::1"));
    EXPECT_THROW(EncodeIceDescription(d), TIceDescriptionError) << "link-local";
}

} // namespace
