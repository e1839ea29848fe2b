// The lobby's key as the game keeps it from its first log-in there: the
// same key goes on being accepted, another one (or none) is refused with a
// text that says how to undo the pin.
#include "lobby_key_pins.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <vector>

namespace {

namespace fs = std::filesystem;

TLobbyKey Key(unsigned char fill) {
    TLobbyKey key{};
    key.fill(fill);
    return key;
}

class LobbyKeyPins : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zellhop-pins-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string FileText() const {
        std::ifstream in(file());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir;
    fs::path file() const { return dir / "zellhop" / "lobby-keys"; }
};

TEST_F(LobbyKeyPins, TheFirstKeyIsKeptAndAnotherOneOrNoneIsRefused) {
    const TLobbyKeyPins pins(file());
    EXPECT_EQ(pins.Check("Lobby.Example.org", Key(1)), TPinCheck::Pinned);
    EXPECT_EQ(pins.Check("lobby.example.org:80", Key(1)), TPinCheck::Matches);
    // Another program of the same player sees the same file.
    EXPECT_EQ(TLobbyKeyPins(file()).Check("LOBBY.example.org", Key(1)), TPinCheck::Matches);
    try {
        pins.Check("lobby.example.org", Key(2));
        ADD_FAILURE() << "another key was accepted";
    } catch (const ELobbyKeyChanged& e) {
        EXPECT_EQ(std::string(e.what()),
                  "The lobby lobby.example.org:80 answered with another key than the one this "
                  "program kept from its first log-in there. Someone may be posing as the "
                  "lobby, so its games are not trusted. If the lobby's owner has given it a new "
                  "key, remove the line for lobby.example.org:80 from " +
                      file().string() + " and log in again.");
    }
    try {
        pins.Check("lobby.example.org", std::nullopt);
        ADD_FAILURE() << "a missing key was accepted";
    } catch (const ELobbyKeyChanged& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, 110),
                  "The lobby lobby.example.org:80 answered without the key this program kept from "
                  "its first log-in there. Someone");
    }
    // Each lobby, port included, has its own pin.
    EXPECT_EQ(pins.Check("lobby.example.org:8080", Key(2)), TPinCheck::Pinned);
    EXPECT_EQ(pins.Check("127.0.0.1", std::nullopt), TPinCheck::NoKey);
    EXPECT_EQ(pins.Find("lobby.example.org"), Key(1));
    EXPECT_EQ(pins.Find("127.0.0.1"), std::nullopt);
    EXPECT_EQ(FileText(), "# Lobby keys Zellhop saw at its first log-in on each lobby: HOST:PORT "
                          "KEY\n"
                          "lobby.example.org:80 " +
                              KeyText(Key(1)) +
                              "\n"
                              "lobby.example.org:8080 " +
                              KeyText(Key(2)) + "\n");
}

TEST_F(LobbyKeyPins, RemovingTheLineLetsANewKeyBePinnedAndBrokenLinesPinNothing) {
    fs::create_directories(file().parent_path());
    std::ofstream(file()) << "# kept by hand\n"
                          << "broken.example:80 not-a-key\n"
                          << "nospace.example:80\n"
                          << "\n";
    const TLobbyKeyPins pins(file());
    EXPECT_EQ(pins.Find("broken.example"), std::nullopt);
    EXPECT_EQ(pins.Check("nospace.example", Key(3)), TPinCheck::Pinned);
    EXPECT_EQ(pins.Check("nospace.example", Key(3)), TPinCheck::Matches);
    // The key pinned after a broken line holds from then on.
    EXPECT_EQ(pins.Check("broken.example", Key(4)), TPinCheck::Pinned);
    EXPECT_EQ(pins.Check("broken.example", Key(4)), TPinCheck::Matches);
    EXPECT_THROW(pins.Check("broken.example", Key(5)), ELobbyKeyChanged);

    // The owner gave the lobby a new key and the player took its line out.
    const std::string text = FileText();
    const std::string line = "broken.example:80 " + KeyText(Key(4)) + "\n";
    ASSERT_NE(text.find(line), std::string::npos);
    std::ofstream(file()) << text.substr(0, text.find(line)) +
                                 text.substr(text.find(line) + line.size());
    EXPECT_EQ(pins.Check("broken.example", Key(5)), TPinCheck::Pinned);
    EXPECT_EQ(pins.Check("nospace.example", Key(3)), TPinCheck::Matches);
}

TEST(LobbyKeyPinNames, TheHostIsLowerCaseWithItsPort) {
    const std::pair<const char*, const char*> cases[] = {
        {"lobby.example.org", "lobby.example.org:80"},
        {" Lobby.Example.ORG:8080 ", "lobby.example.org:8080"},
        {"127.0.0.1", "127.0.0.1:80"},
        {"127.0.0.1:8080", "127.0.0.1:8080"},
        {"[2001:DB8::1]:8080", "[2001:db8::1]:8080"},
        {"[2001:db8::1]", "[2001:db8::1]:80"},
        {"2001:db8::1", "[2001:db8::1]:80"},
    };
    for (const auto& [host, name] : cases)
        EXPECT_EQ(TLobbyKeyPins::PinName(host), name) << host;
}

TEST(LobbyKeyPinFile, LivesBesideTheSettingsButNotInThem) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string before = saved != nullptr ? saved : "";
    setenv("XDG_CONFIG_HOME", "/tmp/some-config", 1);
    EXPECT_EQ(TLobbyKeyPins::DefaultFile(), fs::path("/tmp/some-config/zellhop/lobby-keys"));
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(TLobbyKeyPins::DefaultFile().filename(), "lobby-keys");
    EXPECT_EQ(TLobbyKeyPins::DefaultFile().parent_path().filename(), "zellhop");
    if (saved != nullptr)
        setenv("XDG_CONFIG_HOME", before.c_str(), 1);
}

// What a log-in's items become: kept where the key is the pinned one (or
// seen for the first time), dropped with a line for the log where it is
// not; a pin that cannot be written keeps them and says so.
TEST_F(LobbyKeyPins, TheLogInsItemsAreDroppedWhenTheKeyChanged) {
    const TLobbyKeyPins pins(file());
    ASSERT_EQ(pins.Check("lobby.example.org:8080", Key(1)), TPinCheck::Pinned);
    const struct {
        const char* what;
        const char* lobby;
        std::optional<TLobbyKey> key;
        bool kept;
        const char* logged; // the start of the log's line, or "" for none
    } cases[] = {
        {"the pinned key", "lobby.example.org:8080", Key(1), true, ""},
        {"another key", "lobby.example.org:8080", Key(2), false,
         "***The lobby lobby.example.org:8080 answered with another key"},
        {"no key where one is pinned", "lobby.example.org:8080", std::nullopt, false,
         "***The lobby lobby.example.org:8080 answered without the key"},
        {"a lobby seen for the first time", "other.example.org", Key(3), true, ""},
        {"a lobby of the written protocol", "old.example.org", std::nullopt, true, ""},
        {"a lobby on this machine, IPv4", "127.0.0.1:8080", Key(5), true, ""},
        {"a lobby on this machine, IPv6", "[::1]:8080", Key(5), true, ""},
        {"a lobby on this machine, by name", "LOCALHOST", Key(5), true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TLobbyItems items;
        items.ticket = "ticket";
        items.lobbyKey = c.key;
        std::vector<std::string> lines;
        const TLobbyItems checked = CheckedLobbyItems(
            pins, c.lobby, items, [&lines](const std::string& line) { lines.push_back(line); });
        EXPECT_EQ(checked.ticket, c.kept ? "ticket" : "");
        EXPECT_EQ(checked.lobbyKey.has_value(), c.kept && c.key.has_value());
        if (*c.logged == '\0') {
            EXPECT_TRUE(lines.empty()) << lines.front();
        } else {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0].rfind(c.logged, 0), 0u) << lines[0];
            EXPECT_NE(lines[0].find(file().string()), std::string::npos) << "says where the pin is";
        }
    }
    EXPECT_EQ(pins.Find("other.example.org"), Key(3));
    for (const char* local : {"127.0.0.1:8080", "[::1]:8080", "localhost"})
        EXPECT_FALSE(pins.Find(local)) << local << ": not pinned";

    // A pin that cannot be written (the folder is a file).
    const TLobbyKeyPins broken(dir / "zellhop" / "lobby-keys" / "below");
    std::vector<std::string> lines;
    TLobbyItems items;
    items.ticket = "ticket";
    items.lobbyKey = Key(4);
    const TLobbyItems checked = CheckedLobbyItems(
        broken, "lobby.example.org", items, [&lines](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(checked.ticket, "ticket");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("***Couldn't keep the lobby's key: ", 0), 0u) << lines[0];
}

} // namespace
