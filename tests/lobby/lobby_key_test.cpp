// The lobby's signing key: made once, kept in a file only its owner may
// read, the same after a restart, and its tickets hold under the game's
// own check.
#include "lobby_key.h"
#include "lobby_test_support.h"
#include "lobby_ticket.h"

#include <fstream>
#include <gtest/gtest.h>
#include <latch>
#include <sys/stat.h>
#include <thread>

namespace {

constexpr std::int64_t kNow = 1'700'000'000;

lobby_ticket::Claims Claims(const std::string& name) {
    lobby_ticket::Claims claims;
    claims.programKey.fill(9);
    claims.playerName = name;
    claims.playerNumber = 7;
    claims.expiresAt = kNow + 60;
    return claims;
}

TLobbyKey PublicOf(const LobbyKey& key) {
    return *ReadKeyText(key.PublicKeyText());
}

TEST(LobbyKey, IsMadeOnceWithMode0600AndReadAgainAfterARestart) {
    TempDir dir;
    const std::string path = (dir.Path() / "lobby.key").string();
    const auto made = LobbyKey::LoadOrCreate(path);
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    const auto again = LobbyKey::LoadOrCreate(path);
    EXPECT_EQ(again->PublicKeyText(), made->PublicKeyText());
    EXPECT_EQ(made->PublicKeyText().size(), 43u);
    EXPECT_NE(LobbyKey::Generate()->PublicKeyText(), made->PublicKeyText());

    // A ticket of the first process holds under the key the second one shows.
    const std::string ticket = made->IssueTicket(Claims("Ann"));
    const TTicketVerdict verdict = VerifyLobbyTicket(ticket, PublicOf(*again), kNow);
    EXPECT_EQ(verdict.check, TTicketCheck::Valid);
    EXPECT_EQ(verdict.claims, Claims("Ann"));
    EXPECT_EQ(VerifyLobbyTicket(ticket, PublicOf(*LobbyKey::Generate()), kNow).check,
              TTicketCheck::BadSignature);
}

TEST(LobbyKey, LobbiesStartingTogetherEndWithOneKey) {
    TempDir dir;
    const std::string path = (dir.Path() / "lobby.key").string();
    constexpr int kLobbies = 8;
    std::vector<std::string> keys(kLobbies);
    std::latch go(1);
    std::vector<std::thread> lobbies;
    for (int i = 0; i < kLobbies; ++i)
        lobbies.emplace_back([&, i] {
            go.wait();
            keys[i] = LobbyKey::LoadOrCreate(path)->PublicKeyText();
        });
    go.count_down();
    for (std::thread& lobby : lobbies)
        lobby.join();
    for (const std::string& key : keys)
        EXPECT_EQ(key, keys[0]);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(LobbyKey, AFileThatOthersMayReadOrThatHoldsNoKeyIsRefused) {
    TempDir dir;
    const auto file = [&](const std::string& name, const std::string& text, mode_t mode) {
        const std::string path = (dir.Path() / name).string();
        std::ofstream(path) << text;
        chmod(path.c_str(), mode);
        return path;
    };
    const std::string good = (dir.Path() / "good.key").string();
    const auto key = LobbyKey::LoadOrCreate(good);
    std::ifstream in(good);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line.substr(0, 8), "ed25519 ");

    const struct {
        const char* what;
        std::string path;
    } refused[] = {
        {"readable by others", file("open.key", line + "\n", 0644)},
        {"readable by the group", file("group.key", line + "\n", 0640)},
        {"not a key", file("junk.key", "hello\n", 0600)},
        {"a seed too short", file("short.key", line.substr(0, 40) + "\n", 0600)},
        {"no label", file("bare.key", line.substr(8) + "\n", 0600)},
        {"a folder", (dir.Path()).string()},
    };
    for (const auto& c : refused)
        EXPECT_THROW(LobbyKey::LoadOrCreate(c.path), std::runtime_error) << c.what;
    EXPECT_EQ(LobbyKey::LoadOrCreate(file("copy.key", line + "\r\n", 0400))->PublicKeyText(),
              key->PublicKeyText());
}

} // namespace
