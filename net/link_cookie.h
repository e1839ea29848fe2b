// The host's answer to a first connect request of the extension: a cookie
// that the joiner must send back before the host keeps anything for it,
// as DTLS and netcode do.  A request with a forged source address then
// costs the host one datagram and starts no link: only who receives at
// that address can echo it.  Stateless: a keyed hash of the address, the
// joiner's session and public key and the time slot, under a secret drawn
// when the jar is made; a cookie holds for its slot and the next (30 to 60
// seconds).  Plain C++ with libsodium and the time passed in.
#pragma once

#include "link_seal.h"
#include "peer_link.h"

#include <array>
#include <cstdint>
#include <string>

inline constexpr std::size_t kCookieBytes = 32;
using TCookie = std::array<unsigned char, kCookieBytes>;

class TCookieJar {
  public:
    TCookieJar();
    TCookie Make(const std::string& address, uint32_t session, const TLinkPublicKey& key,
                 TLinkTime now) const;
    bool Holds(const TCookie& cookie, const std::string& address, uint32_t session,
               const TLinkPublicKey& key, TLinkTime now) const;

  private:
    TCookie MakeIn(int64_t slot, const std::string& address, uint32_t session,
                   const TLinkPublicKey& key) const;

    std::array<unsigned char, kCookieBytes> secret_{};
};
