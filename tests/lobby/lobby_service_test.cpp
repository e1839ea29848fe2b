// The lobby's answers without a socket in between, for what a loopback
// connection cannot show: requests from other kinds of addresses.
#include "lobby_service.h"
#include "lobby_test_support.h"

#include <gtest/gtest.h>

namespace {

class LobbyServiceTest : public ::testing::Test {
  protected:
    std::string LoggedIn(const std::string& name) {
        store.AddPlayer(name, hasher.Hash("password1"), 0);
        const LobbyReply reply = service.Handle(
            {"GET", "/tavlo/tavlologin2.php",
             "username=" + name + "&password=password1&progversion=1.4.0.5", "", "192.0.2.1"});
        return ParseLogin(reply.body).session;
    }

    TempDir dir;
    LobbyStore store{(dir.Path() / "lobby.db").string()};
    PasswordHasher hasher;
    LobbyService service{store, hasher, {}, [] { return std::int64_t{1'700'000'000'000}; }};
};

TEST_F(LobbyServiceTest, ListsAnAddressTheGameCanConnectToOrRefusesToPublish) {
    const struct {
        const char* peer;
        const char* listed; // nullptr: publishing is refused
    } cases[] = {
        {"192.0.2.7", "192.0.2.7"},
        {"::ffff:198.51.100.4", "198.51.100.4"},
        {"::1", nullptr},
        {"2001:db8::5", nullptr},
        {"", nullptr},
    };
    int player = 0;
    for (const auto& c : cases) {
        const std::string session = LoggedIn("p" + std::to_string(++player));
        const LobbyReply created = service.Handle(
            {"GET", "/tavlo/creategame.php",
             "mysessid=" + session + "&gametype=1&gamename=G&players=130000", "", c.peer});
        const LobbyReply list = service.Handle(
            {"GET", "/tavlo/getgames.php", "mysessid=" + session + "&gametype=1", "", c.peer});
        if (c.listed == nullptr) {
            EXPECT_EQ(created.body, "0") << c.peer;
            EXPECT_EQ(list.body, "1\n") << c.peer;
        } else {
            EXPECT_EQ(list.body, std::string("1\nG\n1/2\n") + c.listed + "\n") << c.peer;
            // Started, so that it leaves the list for the next case.
            service.Handle({"GET", "/tavlo/refreshgame.php",
                            "mysessid=" + session + "&gametype=1&gameno=" + created.body.substr(2) +
                                "&newgamestate=2",
                            "", c.peer});
        }
    }
}

} // namespace
