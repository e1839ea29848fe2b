#include "link_seal.h"

#include <algorithm>
#include <cstring>
#include <sodium.h>
#include <stdexcept>

namespace {

constexpr std::size_t kWindowBits = 64;
constexpr std::size_t kTrailerItemStart = kStringItemOverhead + kSealedTrailerBytes; // from the end
constexpr std::size_t kClearTrailer = kStringItemOverhead + kTrailerBytes + kSealNumberBytes;
constexpr std::size_t kSessionBytes = 4;

static_assert(kSealTagBytes == crypto_aead_chacha20poly1305_ietf_ABYTES);
static_assert(kLinkKeyBytes == crypto_kx_PUBLICKEYBYTES &&
              kLinkKeyBytes == crypto_kx_SECRETKEYBYTES);
static_assert(kLinkKeyBytes == crypto_aead_chacha20poly1305_ietf_KEYBYTES);

void StartSodium() {
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium cannot start");
}

using TNonce = std::array<unsigned char, crypto_aead_chacha20poly1305_ietf_NPUBBYTES>;

TNonce NonceOf(uint64_t number) {
    TNonce nonce{};
    for (std::size_t i = 0; i < kSealNumberBytes; ++i)
        nonce[i] = static_cast<unsigned char>(number >> (8 * i));
    return nonce;
}

uint64_t NumberAt(std::string_view bytes) {
    uint64_t number = 0;
    for (std::size_t i = 0; i < kSealNumberBytes; ++i)
        number |= uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
    return number;
}

// One direction's key: the crypto_kx key of that direction with both
// sessions, the client's first.
void MixSessions(std::array<unsigned char, kLinkKeyBytes>& key, uint32_t clientSession,
                 uint32_t serverSession) {
    std::string input(reinterpret_cast<const char*>(key.data()), key.size());
    PutLittleEndian(input, clientSession, kSessionBytes);
    PutLittleEndian(input, serverSession, kSessionBytes);
    crypto_generichash(key.data(), key.size(), reinterpret_cast<const unsigned char*>(input.data()),
                       input.size(), nullptr, 0);
    sodium_memzero(input.data(), input.size());
}

unsigned char* Bytes(std::string& s, std::size_t at = 0) {
    return reinterpret_cast<unsigned char*>(s.data() + at);
}

} // namespace

TLinkKeyPair TLinkKeyPair::Generate() {
    StartSodium();
    TLinkKeyPair pair;
    crypto_kx_keypair(pair.publicKey.data(), pair.secretKey.data());
    return pair;
}

TLinkKeyPair TLinkKeyPair::FromSeed(const std::array<unsigned char, kLinkKeyBytes>& seed) {
    static_assert(kLinkKeyBytes == crypto_kx_SEEDBYTES);
    StartSodium();
    TLinkKeyPair pair;
    crypto_kx_seed_keypair(pair.publicKey.data(), pair.secretKey.data(), seed.data());
    return pair;
}

// Both ends must take the same roles: the smaller public key (then the
// smaller session) is the client.
std::optional<TLinkSeal> TLinkSeal::Agree(const TLinkKeyPair& own, uint32_t ownSession,
                                          const TLinkPublicKey& peer, uint32_t peerSession) {
    StartSodium();
    const int order = std::memcmp(own.publicKey.data(), peer.data(), kLinkKeyBytes);
    if (order == 0 && ownSession == peerSession)
        return std::nullopt;
    const bool client = order < 0 || (order == 0 && ownSession < peerSession);
    TLinkSeal seal;
    const int failed =
        client
            ? crypto_kx_client_session_keys(seal.receiveKey_.data(), seal.sendKey_.data(),
                                            own.publicKey.data(), own.secretKey.data(), peer.data())
            : crypto_kx_server_session_keys(seal.receiveKey_.data(), seal.sendKey_.data(),
                                            own.publicKey.data(), own.secretKey.data(),
                                            peer.data());
    if (failed != 0)
        return std::nullopt;
    const uint32_t clientSession = client ? ownSession : peerSession;
    const uint32_t serverSession = client ? peerSession : ownSession;
    MixSessions(seal.sendKey_, clientSession, serverSession);
    MixSessions(seal.receiveKey_, clientSession, serverSession);
    return seal;
}

std::string TLinkSeal::Seal(std::string_view datagram) {
    const std::size_t itemsEnd = datagram.size() - kStringItemOverhead - kTrailerBytes;
    const uint64_t number = ++sent_;
    std::string sealed(datagram.substr(0, itemsEnd));
    sealed.replace(0, kLengthFieldBytes, std::string(kLengthFieldBytes, '\0'));
    sealed.push_back(static_cast<char>(ikString));
    PutLittleEndian(sealed, kSealedTrailerBytes, kStringLengthBytes);
    std::string trailer(datagram.substr(itemsEnd + kStringItemOverhead, kTrailerBytes));
    trailer[kTrailerMagic.size()] =
        static_cast<char>(trailer[kTrailerMagic.size()] | kTrailerSealed);
    sealed += trailer;
    for (std::size_t i = 0; i < kSealNumberBytes; ++i)
        sealed.push_back(static_cast<char>(number >> (8 * i)));
    const std::size_t total = sealed.size() + kSealTagBytes;
    for (std::size_t i = 0; i < kLengthFieldBytes; ++i)
        sealed[i] = static_cast<char>(total >> (8 * i));

    // Additional data: the header and the clear trailer item.
    std::string additional = sealed.substr(0, kHeaderBytes) + sealed.substr(itemsEnd);
    std::array<unsigned char, kSealTagBytes> tag{};
    const TNonce nonce = NonceOf(number);
    crypto_aead_chacha20poly1305_ietf_encrypt_detached(
        Bytes(sealed, kHeaderBytes), tag.data(), nullptr, Bytes(sealed, kHeaderBytes),
        itemsEnd - kHeaderBytes, Bytes(additional), additional.size(), nullptr, nonce.data(),
        sendKey_.data());
    sealed.append(reinterpret_cast<const char*>(tag.data()), tag.size());
    return sealed;
}

bool TLinkSeal::LooksSealed(std::string_view datagram, TLinkTrailer& trailer) {
    if (datagram.size() < kHeaderBytes + kTrailerItemStart ||
        GetLittleEndian(datagram, kLengthFieldBytes) != datagram.size())
        return false;
    const std::string_view item = datagram.substr(datagram.size() - kTrailerItemStart);
    if (static_cast<unsigned char>(item[0]) != ikString ||
        GetLittleEndian(item.substr(1), kStringLengthBytes) != kSealedTrailerBytes)
        return false;
    if (!DecodeTrailer(item.substr(kStringItemOverhead, kTrailerBytes), trailer))
        return false;
    return (trailer.flags & kTrailerSealed) != 0;
}

TLinkSeal::TOpened TLinkSeal::Open(std::string_view sealed, std::string& plain) {
    TLinkTrailer trailer;
    if (!LooksSealed(sealed, trailer))
        return TOpened::NotSealed;
    const std::size_t itemsEnd = sealed.size() - kTrailerItemStart;
    const std::string_view clear = sealed.substr(itemsEnd, kClearTrailer);
    const uint64_t number = NumberAt(clear.substr(kStringItemOverhead + kTrailerBytes));
    if (!Fresh(number))
        return TOpened::Replayed;
    std::string additional = std::string(sealed.substr(0, kHeaderBytes)) + std::string(clear);
    std::string items(sealed.substr(kHeaderBytes, itemsEnd - kHeaderBytes));
    const TNonce nonce = NonceOf(number);
    const auto* tag =
        reinterpret_cast<const unsigned char*>(sealed.data() + sealed.size() - kSealTagBytes);
    if (crypto_aead_chacha20poly1305_ietf_decrypt_detached(
            Bytes(items), nullptr, Bytes(items), items.size(), tag, Bytes(additional),
            additional.size(), nonce.data(), receiveKey_.data()) != 0)
        return TOpened::Forged;
    Take(number);

    trailer.flags = static_cast<uint8_t>(trailer.flags & ~kTrailerSealed);
    plain.clear();
    PutLittleEndian(plain, static_cast<uint32_t>(sealed.size() - kSealBytes), kLengthFieldBytes);
    plain += sealed.substr(kLengthFieldBytes, kHeaderBytes - kLengthFieldBytes);
    plain += items;
    plain.push_back(static_cast<char>(ikString));
    PutLittleEndian(plain, kTrailerBytes, kStringLengthBytes);
    plain += EncodeTrailer(trailer);
    return TOpened::Fresh;
}

bool TLinkSeal::Fresh(uint64_t number) const {
    if (number == 0)
        return false;
    if (number > highest_)
        return true;
    const uint64_t behind = highest_ - number;
    return behind < kWindowBits && ((window_ >> behind) & 1u) == 0;
}

void TLinkSeal::Take(uint64_t number) {
    if (number > highest_) {
        const uint64_t shift = number - highest_;
        window_ = shift >= kWindowBits ? 0 : window_ << shift;
        highest_ = number;
    }
    window_ |= uint64_t{1} << (highest_ - number);
}
