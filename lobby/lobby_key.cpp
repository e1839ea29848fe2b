#include "lobby_key.h"

#include "base64_text.h"
#include "secret_file.h"

#include <sodium.h>
#include <stdexcept>

namespace {

// The file: this word, a blank, the base64url of the 32-byte seed, LF.
constexpr std::string_view kFileLabel = "ed25519 ";
const std::string kWhat = "the lobby's key file";

static_assert(crypto_sign_SECRETKEYBYTES == 64);
static_assert(crypto_sign_PUBLICKEYBYTES == lobby_ticket::kLobbyKeyBytes);
static_assert(crypto_sign_BYTES == lobby_ticket::kSignatureBytes);
static_assert(crypto_sign_SEEDBYTES == LobbyKey::kSeedBytes);

void InitSodium() {
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium could not be initialised");
}

std::string SeedFromFile(const std::string& path, const std::string& contents) {
    std::string_view text(contents);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    std::optional<std::string> seed;
    if (text.substr(0, kFileLabel.size()) == kFileLabel)
        seed = base64_text::DecodeUrl(text.substr(kFileLabel.size()), LobbyKey::kSeedBytes);
    if (!seed || seed->size() != LobbyKey::kSeedBytes)
        throw std::runtime_error(kWhat + " " + path + " does not hold a key of zellhop-lobby");
    return *seed;
}

} // namespace

LobbyKey::~LobbyKey() {
    sodium_memzero(secret_.data(), secret_.size());
}

void LobbyKey::FromSeed(const unsigned char* seed) {
    crypto_sign_seed_keypair(public_.data(), secret_.data(), seed);
}

std::shared_ptr<const LobbyKey> LobbyKey::Generate() {
    InitSodium();
    std::shared_ptr<LobbyKey> key(new LobbyKey);
    std::array<unsigned char, kSeedBytes> seed{};
    randombytes_buf(seed.data(), seed.size());
    key->FromSeed(seed.data());
    sodium_memzero(seed.data(), seed.size());
    return key;
}

std::shared_ptr<const LobbyKey> LobbyKey::LoadOrCreate(const std::string& path) {
    InitSodium();
    std::shared_ptr<const LobbyKey> made = Generate();
    const std::string seedText(reinterpret_cast<const char*>(made->secret_.data()), kSeedBytes);
    std::string contents = std::string(kFileLabel) + base64_text::EncodeUrl(seedText) + "\n";
    const bool created = secret_file::CreateNew(path, contents, kWhat);
    sodium_memzero(contents.data(), contents.size());
    if (created)
        return made;
    std::string seed = SeedFromFile(path, secret_file::Read(path, kWhat));
    std::shared_ptr<LobbyKey> key(new LobbyKey);
    key->FromSeed(reinterpret_cast<const unsigned char*>(seed.data()));
    sodium_memzero(seed.data(), seed.size());
    return key;
}

std::string LobbyKey::PublicKeyText() const {
    return base64_text::EncodeUrl(
        std::string_view(reinterpret_cast<const char*>(public_.data()), public_.size()));
}

std::string LobbyKey::IssueTicket(const lobby_ticket::Claims& claims) const {
    std::string ticket = lobby_ticket::SignedPart(claims);
    std::array<unsigned char, crypto_sign_BYTES> signature{};
    crypto_sign_detached(signature.data(), nullptr,
                         reinterpret_cast<const unsigned char*>(ticket.data()), ticket.size(),
                         secret_.data());
    ticket.append(reinterpret_cast<const char*>(signature.data()), signature.size());
    return ticket;
}
