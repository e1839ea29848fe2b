#pragma once

#include "work_queue.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Salted slow password hashes (Argon2id through libsodium), in libsodium's
// self-describing text form, so that stored hashes stay readable if the
// cost is raised later. Each hash takes tens of milliseconds and 64 MiB, so
// they run on a few threads of their own (`slots`), at a lower priority
// than the rest of the lobby, and at most `queueLength` wait for a thread:
// a flood of log-ins is refused at once instead of piling up. A hash that
// waited longer than `maxWait` (the processor being taken by others) is
// not done at all, so that its client hears back in time.
class PasswordHasher {
  public:
    explicit PasswordHasher(int slots = DefaultConcurrency(),
                            std::size_t queueLength = kDefaultQueueLength,
                            std::chrono::milliseconds maxWait = kDefaultMaxWait);

    // For the owner's commands and the tests: waits its turn, never refused.
    std::string Hash(std::string_view password);
    bool Verify(const std::string& storedHash, std::string_view password);

    // Queued forms: false at once, and `done` is never called, when the
    // queue is full. `done` runs on a hashing thread and must not throw;
    // nullopt tells it that the hash was not done: it waited too long, or
    // memory ran out.
    bool TryHash(std::string password, std::function<void(std::optional<std::string>)> done);
    // Without a stored hash (a name that has no account) the password is
    // checked against a hash of the same cost, so that the answer takes as
    // long as for a real account; it never matches.
    bool TryVerify(std::optional<std::string> storedHash, std::string password,
                   std::function<void(std::optional<bool> matches)> done);

    // Verifications done so far, those without a stored hash included.
    std::uint64_t Verifications() const { return verifications_; }
    // Whether the stand-in hash costs what a new hash costs.
    static bool StandInMatchesCost();

    static int DefaultConcurrency();
    static constexpr std::size_t kDefaultQueueLength = 16;
    static constexpr std::chrono::milliseconds kDefaultMaxWait{4000};

  private:
    static std::optional<std::string> HashNow(std::string_view password);
    bool VerifyNow(const std::string& storedHash, std::string_view password);

    bool Waited(std::chrono::steady_clock::time_point queued) const;

    const std::chrono::milliseconds maxWait_;
    std::atomic<std::uint64_t> verifications_{0};
    WorkQueue queue_; // last: its threads end, finishing what is queued, before the rest goes
};
