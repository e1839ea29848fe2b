#include "link_cookie.h"

#include <chrono>
#include <sodium.h>
#include <stdexcept>

namespace {

constexpr std::chrono::seconds kSlot{30};

int64_t SlotOf(TLinkTime now) {
    return std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()) / kSlot;
}

} // namespace

TCookieJar::TCookieJar() {
    static_assert(kCookieBytes >= crypto_generichash_KEYBYTES_MIN &&
                  kCookieBytes <= crypto_generichash_BYTES_MAX);
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium cannot start");
    randombytes_buf(secret_.data(), secret_.size());
}

TCookie TCookieJar::MakeIn(int64_t slot, const std::string& address, uint32_t session,
                           const TLinkPublicKey& key) const {
    // The address last, after fields of fixed length, so that no two
    // inputs run together.
    std::string input(reinterpret_cast<const char*>(key.data()), key.size());
    PutLittleEndian(input, session, 4);
    PutLittleEndian(input, static_cast<uint32_t>(slot), 4);
    PutLittleEndian(input, static_cast<uint32_t>(static_cast<uint64_t>(slot) >> 32), 4);
    input += address;
    TCookie cookie{};
    crypto_generichash(cookie.data(), cookie.size(),
                       reinterpret_cast<const unsigned char*>(input.data()), input.size(),
                       secret_.data(), secret_.size());
    return cookie;
}

TCookie TCookieJar::Make(const std::string& address, uint32_t session, const TLinkPublicKey& key,
                         TLinkTime now) const {
    return MakeIn(SlotOf(now), address, session, key);
}

bool TCookieJar::Holds(const TCookie& cookie, const std::string& address, uint32_t session,
                       const TLinkPublicKey& key, TLinkTime now) const {
    const int64_t slot = SlotOf(now);
    for (int64_t s : {slot, slot - 1}) {
        const TCookie expected = MakeIn(s, address, session, key);
        if (sodium_memcmp(expected.data(), cookie.data(), kCookieBytes) == 0)
            return true;
    }
    return false;
}
