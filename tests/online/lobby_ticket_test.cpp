// A member checks another member's ticket with the lobby's public key: a
// ticket holds only when the lobby signed exactly those bytes, and not long
// after its expiry.
#include "lobby_peer_ticket.h"
#include "lobby_ticket.h"

#include <gtest/gtest.h>
#include <sodium.h>

namespace {

constexpr std::int64_t kNow = 1'700'000'000;

class LobbyTicket : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_GE(sodium_init(), 0);
        crypto_sign_keypair(lobbyKey.data(), secretKey.data());
        crypto_sign_keypair(otherKey.data(), otherSecret.data());
        for (std::size_t i = 0; i < claims.programKey.size(); ++i)
            claims.programKey[i] = static_cast<unsigned char>(3 * i);
    }
    std::string Signed(const lobby_ticket::Claims& what, const unsigned char* secret) const {
        std::string ticket = lobby_ticket::SignedPart(what);
        unsigned char signature[crypto_sign_BYTES];
        crypto_sign_detached(signature, nullptr,
                             reinterpret_cast<const unsigned char*>(ticket.data()), ticket.size(),
                             secret);
        return ticket + std::string(reinterpret_cast<const char*>(signature), sizeof signature);
    }
    std::string Ticket() const { return Signed(claims, secretKey.data()); }

    TLobbyKey lobbyKey{}, otherKey{};
    std::array<unsigned char, crypto_sign_SECRETKEYBYTES> secretKey{}, otherSecret{};
    lobby_ticket::Claims claims{{}, "Ann_the-1st", 42, kNow + 3600};
};

TEST_F(LobbyTicket, ASignedTicketGivesItsClaims) {
    const TTicketVerdict verdict = VerifyLobbyTicket(Ticket(), lobbyKey, kNow);
    EXPECT_EQ(verdict.check, TTicketCheck::Valid);
    EXPECT_EQ(verdict.claims, claims);
    // Big-endian numbers after the magic and the key.
    EXPECT_EQ(Ticket().substr(0, 4), "ZHT1");
    EXPECT_EQ(Ticket().substr(36, 4), std::string("\0\0\0\x2a", 4));
    EXPECT_EQ(Ticket().size(), 49 + claims.playerName.size() + 64);
}

TEST_F(LobbyTicket, EveryChangedByteAndEveryOtherKeyIsRefused) {
    const std::string ticket = Ticket();
    for (std::size_t at = 0; at < ticket.size(); ++at) {
        std::string changed = ticket;
        changed[at] = static_cast<char>(changed[at] ^ 0x01);
        const TTicketCheck check = VerifyLobbyTicket(changed, lobbyKey, kNow).check;
        // The magic and the name's length are read before the signature.
        EXPECT_NE(check, TTicketCheck::Valid) << "byte " << at;
        EXPECT_NE(check, TTicketCheck::Expired) << "byte " << at;
    }
    EXPECT_EQ(VerifyLobbyTicket(ticket, otherKey, kNow).check, TTicketCheck::BadSignature);
    EXPECT_EQ(VerifyLobbyTicket(Signed(claims, otherSecret.data()), lobbyKey, kNow).check,
              TTicketCheck::BadSignature);
}

TEST_F(LobbyTicket, ATicketExpiresOnlyBeyondTheClockSlack) {
    const struct {
        std::int64_t now;
        TTicketCheck check;
    } cases[] = {
        {kNow, TTicketCheck::Valid},
        {claims.expiresAt, TTicketCheck::Valid},
        {claims.expiresAt + kTicketClockSlackSeconds, TTicketCheck::Valid},
        {claims.expiresAt + kTicketClockSlackSeconds + 1, TTicketCheck::Expired},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VerifyLobbyTicket(Ticket(), lobbyKey, c.now).check, c.check) << c.now;
}

TEST_F(LobbyTicket, TicketsOfTheWrongShapeAreMalformedBeforeAnyCheck) {
    const std::string ticket = Ticket();
    std::string badLength = ticket;
    badLength[48] = 12; // one more than the name has
    std::string zeroLength = ticket;
    zeroLength[48] = 0;
    const std::string cases[] = {
        "",
        ticket.substr(0, ticket.size() - 1),
        ticket + "x",
        "ZHT2" + ticket.substr(4),
        badLength,
        zeroLength,
        std::string(lobby_ticket::kMaxTicketBytes + 1, 'Z'),
    };
    for (const std::string& bytes : cases)
        EXPECT_EQ(VerifyLobbyTicket(bytes, lobbyKey, kNow).check, TTicketCheck::Malformed)
            << bytes.size();
    lobby_ticket::Claims unnamed = claims;
    unnamed.playerName.clear();
    EXPECT_THROW(lobby_ticket::SignedPart(unnamed), std::invalid_argument);
    unnamed.playerName.assign(65, 'n');
    EXPECT_THROW(lobby_ticket::SignedPart(unnamed), std::invalid_argument);
}

} // namespace

// What a member says of a peer's ticket in a lobby game: it holds only for
// the key the peer proved and the name it gives (as typed at log-in, or
// cut to a nickname).
TEST_F(LobbyTicket, APeersTicketHoldsForItsKeyAndNameOnly) {
    lobby_ticket::Claims longName = claims;
    longName.playerName = "Annabelle_Lee_of_the_sea";
    lobby_ticket::Claims expired = claims;
    expired.expiresAt = kNow - 2 * kTicketClockSlackSeconds;
    TProgramKey otherProgram = claims.programKey;
    otherProgram[0] ^= 1;
    const struct {
        const char* what;
        std::string ticket;
        TProgramKey key;
        std::string name;
        std::string why;
    } cases[] = {
        {"its own", Ticket(), claims.programKey, "Ann_the-1st", ""},
        {"the name typed in another case", Ticket(), claims.programKey, "ann_THE-1st", ""},
        {"a nickname cut from the name", Signed(longName, secretKey.data()), claims.programKey,
         "Annabelle_Lee_of", ""},
        {"none", "", claims.programKey, "Ann_the-1st", "it shows no ticket of the lobby"},
        {"cut short", Ticket().substr(1), claims.programKey, "Ann_the-1st",
         "its ticket is malformed"},
        {"another lobby's", Signed(claims, otherSecret.data()), claims.programKey, "Ann_the-1st",
         "its ticket is not signed by the lobby"},
        {"run out", Signed(expired, secretKey.data()), claims.programKey, "Ann_the-1st",
         "its ticket has run out"},
        {"for another key", Ticket(), otherProgram, "Ann_the-1st",
         "its ticket names another key"},
        {"in another's name", Ticket(), claims.programKey, "Bob",
         "its ticket is made out to Ann_the-1st"},
        {"a longer name than the ticket's", Ticket(), claims.programKey, "Ann_the-1st_and_more",
         "its ticket is made out to Ann_the-1st"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckPeerTicket(c.ticket, c.key, c.name, lobbyKey, kNow), c.why) << c.what;
}
