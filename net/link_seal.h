// The seal of one link of the reliable delivery extension: the key the two
// programs agree on (libsodium crypto_kx over their key pairs, mixed with
// both sessions so that every pairing of two runs has keys of its own),
// and the sealing of each datagram with ChaCha20-Poly1305.
//
// A sealed datagram is the plain one (its trailer the last item) with the
// items before the trailer encrypted in place, and the trailer item grown
// by a datagram number and the tag:
//   header (6 bytes)      length (that of the sealed datagram), kind, count: in clear
//   items                 encrypted, same length
//   trailer item          kind, length kSealedTrailerBytes, then the trailer
//                         (flag kTrailerSealed set), the datagram number (8
//                         bytes, never 0, rising) and the tag (16 bytes)
// The header, the trailer and the number are authenticated in clear.  The
// number is the nonce: each direction has its own key, so no nonce is used
// twice.  A receiver takes each number once (a window of 64 behind the
// highest), so a replayed datagram is refused however it was captured.
//
// Plain C++ with libsodium.
#pragma once

#include "wire_format.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::size_t kLinkKeyBytes = 32;
inline constexpr std::size_t kSealedTrailerBytes = kTrailerBytes + kSealBytes;

using TLinkPublicKey = std::array<unsigned char, kLinkKeyBytes>;

// A program's crypto_kx key pair: made afresh, or given (the one the lobby
// vouches for).
struct TLinkKeyPair {
    TLinkPublicKey publicKey{};
    std::array<unsigned char, kLinkKeyBytes> secretKey{};
    static TLinkKeyPair Generate();
    // The pair a seed gives, always the same: for reproducible tests.
    static TLinkKeyPair FromSeed(const std::array<unsigned char, kLinkKeyBytes>& seed);
};

class TLinkSeal {
  public:
    // The seal between our key pair in session ownSession and the peer's
    // public key in peerSession; none when the peer's key is not usable
    // (or is ours, in the same session).
    static std::optional<TLinkSeal> Agree(const TLinkKeyPair& own, uint32_t ownSession,
                                          const TLinkPublicKey& peer, uint32_t peerSession);

    // The plain datagram of the extension sealed; the caller has checked
    // that it ends with the trailer item.
    std::string Seal(std::string_view datagram);

    enum class TOpened { Fresh, NotSealed, Forged, Replayed };
    // Opens a datagram of the peer: Fresh puts the plain datagram (as
    // Seal took it) in plain.  NotSealed: it has no sealed trailer at its
    // end; Forged: the seal does not hold (altered, or not the peer's);
    // Replayed: its number was taken before.
    TOpened Open(std::string_view sealed, std::string& plain);

    // Whether the datagram ends with a sealed trailer; its trailer (the
    // sender's session in it) when it does.
    static bool LooksSealed(std::string_view datagram, TLinkTrailer& trailer);

  private:
    TLinkSeal() = default;
    bool Fresh(uint64_t number) const;
    void Take(uint64_t number);

    std::array<unsigned char, kLinkKeyBytes> sendKey_{};
    std::array<unsigned char, kLinkKeyBytes> receiveKey_{};
    uint64_t sent_ = 0;    // the number of the last datagram sealed
    uint64_t highest_ = 0; // the highest number opened
    uint64_t window_ = 0;  // bit i: highest_ - i opened
};
