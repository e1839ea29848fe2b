#include "password_hasher.h"

#include <algorithm>
#include <sodium.h>
#include <stdexcept>
#include <thread>

namespace {

void InitSodium() {
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium could not be initialised");
}

// Holds one of the hashing slots for the lifetime of a hash.
template <class Semaphore> class SlotGuard {
  public:
    explicit SlotGuard(Semaphore& slots) : slots_(slots) { slots_.acquire(); }
    ~SlotGuard() { slots_.release(); }
    SlotGuard(const SlotGuard&) = delete;
    SlotGuard& operator=(const SlotGuard&) = delete;

  private:
    Semaphore& slots_;
};

} // namespace

PasswordHasher::PasswordHasher(int maxConcurrent)
    : slots_(std::clamp(maxConcurrent, 1, kMaxConcurrent)) {
    InitSodium();
}

int PasswordHasher::DefaultConcurrency() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

std::string PasswordHasher::Hash(std::string_view password) {
    char hash[crypto_pwhash_STRBYTES];
    SlotGuard slot(slots_);
    if (crypto_pwhash_str(hash, password.data(), password.size(),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw std::runtime_error("not enough memory to hash a password");
    return hash;
}

bool PasswordHasher::Verify(const std::string& storedHash, std::string_view password) {
    SlotGuard slot(slots_);
    return crypto_pwhash_str_verify(storedHash.c_str(), password.data(), password.size()) == 0;
}
