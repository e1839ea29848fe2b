#include "lobby_address.h"

#include <gtest/gtest.h>

namespace {

using P = TLobbyFieldProblem;

const char* Name(P problem) {
    switch (problem) {
    case P::None:
        return "none";
    case P::Blank:
        return "blank";
    case P::BadHost:
        return "bad host";
    case P::BadPort:
        return "bad port";
    case P::TooLong:
        return "too long";
    }
    return "?";
}

// What is typed, how it reads, and what the field and the settings write
// back for it.
TEST(LobbyField, ReadsHostOrHostAndPortAndWritesThemBack) {
    const std::string label63(63, 'x');
    const std::string host253 =
        label63 + "." + label63 + "." + label63 + "." + std::string(61, 'y');
    ASSERT_EQ(host253.size(), kMaxLobbyHostLength);
    const struct {
        std::string typed;
        P problem;
        std::string host;
        int port;
        std::string written;
    } cases[] = {
        {"lobby.example", P::None, "lobby.example", 80, "lobby.example"},
        {"lobby.example:8080", P::None, "lobby.example", 8080, "lobby.example:8080"},
        {"  Lobby.Example:8080\t", P::None, "lobby.example", 8080, "lobby.example:8080"},
        {"127.0.0.1:8080", P::None, "127.0.0.1", 8080, "127.0.0.1:8080"},
        {"localhost", P::None, "localhost", 80, "localhost"},
        {"lobby.example:80", P::None, "lobby.example", 80, "lobby.example"},
        {"lobby.example:00080", P::None, "lobby.example", 80, "lobby.example"},
        {"lobby.example:1", P::None, "lobby.example", 1, "lobby.example:1"},
        {"lobby.example:65535", P::None, "lobby.example", 65535, "lobby.example:65535"},
        {"my_box.local.", P::None, "my_box.local.", 80, "my_box.local."},
        {host253 + ":65535", P::None, host253, 65535, host253 + ":65535"},
        // blanks
        {"", P::Blank, "", 0, ""},
        {"   \t ", P::Blank, "", 0, ""},
        // bad ports
        {"lobby.example:", P::BadPort, "", 0, ""},
        {"lobby.example:0", P::BadPort, "", 0, ""},
        {"lobby.example:65536", P::BadPort, "", 0, ""},
        {"lobby.example:100000", P::BadPort, "", 0, ""},
        {"lobby.example:-80", P::BadPort, "", 0, ""},
        {"lobby.example:+80", P::BadPort, "", 0, ""},
        {"lobby.example:8o", P::BadPort, "", 0, ""},
        {"lobby.example:80 ", P::None, "lobby.example", 80, "lobby.example"},
        {"lobby.example: 80", P::BadPort, "", 0, ""},
        {"lobby.example:80:81", P::BadPort, "", 0, ""},
        // bad hosts
        {":8080", P::BadHost, "", 0, ""},
        {"lob by.example", P::BadHost, "", 0, ""},
        {"http://lobby.example", P::BadHost, "", 0, ""},
        {"lobby.example/tavlo", P::BadHost, "", 0, ""},
        {"lobby..example", P::BadHost, "", 0, ""},
        {".lobby.example", P::BadHost, "", 0, ""},
        {"lobby.example?x=1", P::BadHost, "", 0, ""},
        {"lobby\xc3\xb6.example", P::BadHost, "", 0, ""},
        {"[::1]:8080", P::BadHost, "", 0, ""},
        {"::1", P::BadHost, "", 0, ""},
        {std::string(64, 'x') + ".example", P::BadHost, "", 0, ""},
        {"lobby\n.example", P::BadHost, "", 0, ""},
        // over-long
        {host253 + "z", P::TooLong, "", 0, ""},
        {std::string(kMaxLobbyFieldLength + 1, 'a'), P::TooLong, "", 0, ""},
        {std::string(100000, 'a') + ":80", P::TooLong, "", 0, ""},
    };
    for (const auto& c : cases) {
        const TLobbyFieldReading reading = ReadLobbyField(c.typed);
        const std::string shown = c.typed.substr(0, 40);
        EXPECT_STREQ(Name(reading.problem), Name(c.problem)) << shown;
        if (c.problem != P::None || reading.problem != P::None)
            continue;
        EXPECT_EQ(reading.lobby.host, c.host) << shown;
        EXPECT_EQ(reading.lobby.port, c.port) << shown;
        const std::string written = LobbyFieldText(reading.lobby);
        EXPECT_EQ(written, c.written) << shown;
        // What is written reads back as the same lobby.
        EXPECT_EQ(ReadLobbyField(written).lobby, reading.lobby) << shown;
    }
}

TEST(UsedLobbies, AreReadFromOneValueDroppingBadEntriesAndRepeats) {
    const struct {
        std::string value;
        std::vector<std::string> lobbies;
    } cases[] = {
        {"", {}},
        {"lobby.example", {"lobby.example"}},
        {"b.example:8080,a.example", {"b.example:8080", "a.example"}},
        {" b.example:8080 , A.example:80 ,", {"b.example:8080", "a.example"}},
        {"a.example,,bad host,x:0,a.example:80,c.example", {"a.example", "c.example"}},
        {"1,2,3,4,5,6,7,8,9,10", {"1", "2", "3", "4", "5", "6", "7", "8"}},
        {",,,", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseUsedLobbies(c.value), c.lobbies) << c.value;
}

TEST(UsedLobbies, AreWrittenAsWholeEntriesThatReadBackTheSame) {
    const std::vector<std::string> lobbies{"b.example:8080", "a.example", "127.0.0.1:8081"};
    const std::string value = UsedLobbiesValue(lobbies, 2047);
    EXPECT_EQ(value, "b.example:8080,a.example,127.0.0.1:8081");
    EXPECT_EQ(ParseUsedLobbies(value), lobbies);
    // A value that would not fit keeps the entries in front whole.
    EXPECT_EQ(UsedLobbiesValue(lobbies, 24), "b.example:8080,a.example");
    EXPECT_EQ(UsedLobbiesValue(lobbies, 23), "b.example:8080");
    EXPECT_EQ(UsedLobbiesValue(lobbies, 5), "");
}

TEST(UsedLobbies, TheLastChosenComesFirstOnceAndTheListStaysShort) {
    const std::vector<std::string> eight{"1", "2", "3", "4", "5", "6", "7", "8"};
    const struct {
        std::vector<std::string> before;
        TLobbyAddress chosen;
        std::vector<std::string> after;
    } cases[] = {
        {{}, {"a.example", 80}, {"a.example"}},
        {{"a.example", "b.example:8080"}, {"b.example", 8080}, {"b.example:8080", "a.example"}},
        {{"a.example"}, {"a.example", 8080}, {"a.example:8080", "a.example"}},
        {eight, {"9", 80}, {"9", "1", "2", "3", "4", "5", "6", "7"}},
        {eight, {"5", 80}, {"5", "1", "2", "3", "4", "6", "7", "8"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RememberLobby(c.before, c.chosen), c.after) << LobbyFieldText(c.chosen);
}

} // namespace
