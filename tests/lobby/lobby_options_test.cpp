#include "lobby_options.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

TEST(LobbyOptions, ServeTakesListenAddressVersionsAndBounds) {
    const LobbyOptions options = ParseLobbyOptions({"--listen",
                                                    "127.0.0.1:8080",
                                                    "--db",
                                                    "/var/lib/zellhop/lobby.db",
                                                    "--accept-version",
                                                    "1.4.0.5",
                                                    "--accept-version",
                                                    "1.4.0.6",
                                                    "--expiry",
                                                    "60",
                                                    "--threads",
                                                    "4",
                                                    "--max-connections",
                                                    "32",
                                                    "--max-per-address",
                                                    "0",
                                                    "--rate-per-address",
                                                    "20",
                                                    "--trust-proxy",
                                                    "127.0.0.1",
                                                    "--trust-proxy",
                                                    "10.0.0.0/8",
                                                    "--contact",
                                                    "ops@example.org",
                                                    "--quiet"});
    EXPECT_EQ(options.command, LobbyCommand::Serve);
    EXPECT_EQ(options.server.address, "127.0.0.1");
    EXPECT_EQ(options.server.port, 8080);
    EXPECT_EQ(options.database, "/var/lib/zellhop/lobby.db");
    EXPECT_EQ(options.lobby.acceptedVersions, (Args{"1.4.0.5", "1.4.0.6"}));
    EXPECT_EQ(options.lobby.gameExpiry, std::chrono::seconds(60));
    EXPECT_EQ(options.server.threads, 4u);
    EXPECT_EQ(options.server.maxConnections, 32u);
    EXPECT_EQ(options.server.maxConnectionsPerAddress, 0u);
    EXPECT_EQ(options.server.requestsPerAddress.perSecond, 20);
    EXPECT_EQ(options.server.requestsPerAddress.burst, 40);
    EXPECT_TRUE(options.server.trustedProxies.Trusts(*IpAddress::Parse("10.2.3.4")));
    EXPECT_TRUE(options.server.trustedProxies.Trusts(*IpAddress::Parse("127.0.0.1")));
    EXPECT_FALSE(options.server.trustedProxies.Trusts(*IpAddress::Parse("127.0.0.2")));
    EXPECT_EQ(options.lobby.contact, "ops@example.org");
    EXPECT_FALSE(options.logRequests);
}

TEST(LobbyOptions, DefaultsAreAllAddressesOnPort80AndVersion1405) {
    const LobbyOptions options = ParseLobbyOptions({"--db", "lobby.db"});
    EXPECT_EQ(options.server.address, "0.0.0.0");
    EXPECT_EQ(options.server.port, 80);
    EXPECT_EQ(options.lobby.acceptedVersions, (Args{"1.4.0.5"}));
    EXPECT_EQ(options.lobby.gameExpiry, std::chrono::seconds(300));
    EXPECT_TRUE(options.server.trustedProxies.Empty());
    EXPECT_EQ(options.server.maxConnectionsPerAddress, 64u);
}

TEST(LobbyOptions, ThePostgresqlUriIsTheDatabase) {
    const LobbyOptions options =
        ParseLobbyOptions({"--db", "postgresql://lobby@db.example.org/zellhop"});
    EXPECT_EQ(options.database, "postgresql://lobby@db.example.org/zellhop");
}

TEST(LobbyOptions, UserCommandsTakeANameAndAnOptionalPassword) {
    LobbyOptions options = ParseLobbyOptions({"add-user", "--db", "l.db", "alice"});
    EXPECT_EQ(options.command, LobbyCommand::AddUser);
    EXPECT_EQ(options.userName, "alice");
    EXPECT_FALSE(options.password);
    options = ParseLobbyOptions({"reset-password", "bob", "--password", "s3cret!", "--db", "l.db"});
    EXPECT_EQ(options.command, LobbyCommand::ResetPassword);
    EXPECT_EQ(options.userName, "bob");
    EXPECT_EQ(options.password, "s3cret!");
}

TEST(LobbyOptions, IPv6ListenAddressGoesInBrackets) {
    const LobbyOptions options = ParseLobbyOptions({"--db", "l.db", "--listen", "[::]:8080"});
    EXPECT_EQ(options.server.address, "::");
    EXPECT_EQ(options.server.port, 8080);
}

TEST(LobbyOptions, TheKeyFileAndTheRelayWithItsSecret) {
    const LobbyOptions options = ParseLobbyOptions(
        {"--db", "l.db", "--key-file", "/var/lib/zellhop-lobby/lobby.key", "--turn",
         "[2001:db8::1]:3478", "--turn-secret-file", "/run/credentials/turn-secret"});
    EXPECT_EQ(options.keyFile, "/var/lib/zellhop-lobby/lobby.key");
    EXPECT_EQ(options.lobby.turn.server, "[2001:db8::1]:3478");
    EXPECT_EQ(options.turnSecretFile, "/run/credentials/turn-secret");
    EXPECT_EQ(ParseLobbyOptions(
                  {"--db", "l.db", "--turn", "turn.example.org:3478", "--turn-secret-file", "s"})
                  .lobby.turn.server,
              "turn.example.org:3478");
    const LobbyOptions plain = ParseLobbyOptions({"--db", "l.db"});
    EXPECT_TRUE(plain.keyFile.empty());
    EXPECT_FALSE(plain.lobby.turn.Enabled());
}

TEST(LobbyOptions, RefusesWhatItCannotUse) {
    const Args cases[] = {
        {},
        {"--listen", "127.0.0.1:80"},
        {"--db"},
        {"--db", "l.db", "--listen", "127.0.0.1"},
        {"--db", "l.db", "--listen", ":80"},
        {"--db", "l.db", "--listen", "127.0.0.1:65536"},
        {"--db", "l.db", "--listen", "127.0.0.1:http"},
        {"--db", "l.db", "--expiry", "0"},
        {"--db", "l.db", "--threads", "many"},
        {"--db", "l.db", "--trust-proxy", "proxy.example.org"},
        {"--db", "l.db", "--trust-proxy", "10.0.0.0/40"},
        {"--db", "l.db", "--rate-per-address", "-1"},
        {"--db", "l.db", "--bogus"},
        {"--db", "l.db", "alice"},
        {"--db", "l.db", "--turn", "turn.example.org:3478"},
        {"--db", "l.db", "--turn-secret-file", "secret"},
        {"--db", "l.db", "--turn", "turn.example.org", "--turn-secret-file", "s"},
        {"--db", "l.db", "--turn", "turn.example.org:0", "--turn-secret-file", "s"},
        {"--db", "l.db", "--turn", ":3478", "--turn-secret-file", "s"},
        {"--db", "l.db", "--turn", "2001:db8::1:3478", "--turn-secret-file", "s"},
        {"--db", "l.db", "--key-file"},
        {"add-user", "--db", "l.db"},
        {"add-user", "--db", "l.db", "alice", "bob"},
        {"add-user", "--db", "l.db", "alice", "--listen", "127.0.0.1:80"},
    };
    for (const Args& args : cases) {
        std::string line;
        for (const auto& arg : args)
            line += arg + ' ';
        EXPECT_THROW(ParseLobbyOptions(args), UsageError) << line;
    }
}

} // namespace
