#pragma once

#include <semaphore>
#include <string>
#include <string_view>

// Salted slow password hashes (Argon2id through libsodium), in libsodium's
// self-describing text form, so that stored hashes stay readable if the
// cost is raised later. Each hash takes tens of milliseconds and 64 MiB, so
// only a few run at once however many requests arrive together.
class PasswordHasher {
  public:
    explicit PasswordHasher(int maxConcurrent = DefaultConcurrency());

    std::string Hash(std::string_view password);
    bool Verify(const std::string& storedHash, std::string_view password);

    static int DefaultConcurrency();

  private:
    static constexpr int kMaxConcurrent = 64;
    std::counting_semaphore<kMaxConcurrent> slots_;
};
