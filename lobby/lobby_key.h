#pragma once

#include "lobby_ticket_format.h"

#include <array>
#include <memory>
#include <string>

// The lobby's Ed25519 key pair.  It signs the tickets that bind a
// program's key to a lobby account; the programs learn its public half at
// log-in and keep it per lobby host, so it must outlive restarts: it lives
// in a file of its own, made on first start, readable by its owner alone.
// Lobbies that share one host name (and one PostgreSQL database) share the
// file too.
class LobbyKey {
  public:
    // The key in `path`, or a new one written there when the file is
    // missing.  Throws std::runtime_error saying what is wrong.
    static std::shared_ptr<const LobbyKey> LoadOrCreate(const std::string& path);
    // A key that lives only in memory.
    static std::shared_ptr<const LobbyKey> Generate();

    ~LobbyKey();
    LobbyKey(const LobbyKey&) = delete;
    LobbyKey& operator=(const LobbyKey&) = delete;

    // The public key as the log-in reply carries it: base64url.
    std::string PublicKeyText() const;
    // A whole ticket: the claims' bytes and their signature.
    std::string IssueTicket(const lobby_ticket::Claims& claims) const;

    static constexpr std::size_t kSeedBytes = 32;

  private:
    LobbyKey() = default;
    void FromSeed(const unsigned char* seed);

    std::array<unsigned char, 64> secret_{}; // libsodium's form: seed, then the public key
    std::array<unsigned char, lobby_ticket::kLobbyKeyBytes> public_{};
};
