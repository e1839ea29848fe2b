#include "password_hasher.h"

#include <algorithm>
#include <future>
#include <sodium.h>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kMaxSlots = 64;
// Hashing yields to the cheap requests: a listing should not wait behind a
// log-in for the processor.
constexpr int kHashingNiceness = 5;

// A hash of a random password nobody knows, with the cost of new hashes
// (crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE):
// what a name without an account is checked against.
constexpr const char* kStandInHash = "$argon2id$v=19$m=65536,t=2,p=1$D5h6SwHyTRS9p1AghHi6Pw$"
                                     "J7trpbDt39K46mCfaiiaH+0P70wU0NDoOTKxMjnz21Y";

void InitSodium() {
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium could not be initialised");
}

void LowerThisThreadsPriority() {
    // On Linux the niceness belongs to the thread; failing to lower it only
    // costs fairness.
    const auto thread = static_cast<id_t>(gettid());
    setpriority(PRIO_PROCESS, thread, getpriority(PRIO_PROCESS, thread) + kHashingNiceness);
}

} // namespace

PasswordHasher::PasswordHasher(int slots, std::size_t queueLength,
                               std::chrono::milliseconds maxWait)
    : maxWait_(maxWait), queue_(static_cast<std::size_t>(std::clamp(slots, 1, kMaxSlots)),
                                queueLength, [] { LowerThisThreadsPriority(); }) {
    InitSodium();
}

int PasswordHasher::DefaultConcurrency() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

bool PasswordHasher::StandInMatchesCost() {
    InitSodium();
    return crypto_pwhash_str_needs_rehash(kStandInHash, crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                          crypto_pwhash_MEMLIMIT_INTERACTIVE) == 0;
}

std::optional<std::string> PasswordHasher::HashNow(std::string_view password) {
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.data(), password.size(),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return std::nullopt;
    return hash;
}

bool PasswordHasher::VerifyNow(const std::string& storedHash, std::string_view password) {
    ++verifications_;
    return crypto_pwhash_str_verify(storedHash.c_str(), password.data(), password.size()) == 0;
}

std::string PasswordHasher::Hash(std::string_view password) {
    std::promise<std::optional<std::string>> result;
    queue_.Push([&] { result.set_value(HashNow(password)); });
    const auto hash = result.get_future().get();
    if (!hash)
        throw std::runtime_error("not enough memory to hash a password");
    return *hash;
}

bool PasswordHasher::Verify(const std::string& storedHash, std::string_view password) {
    std::promise<bool> result;
    queue_.Push([&] { result.set_value(VerifyNow(storedHash, password)); });
    return result.get_future().get();
}

bool PasswordHasher::Waited(std::chrono::steady_clock::time_point queued) const {
    return std::chrono::steady_clock::now() - queued > maxWait_;
}

bool PasswordHasher::TryHash(std::string password,
                             std::function<void(std::optional<std::string>)> done) {
    return queue_.TryPush(
        [this, queued = std::chrono::steady_clock::now(), password = std::move(password),
         done = std::move(done)] { done(Waited(queued) ? std::nullopt : HashNow(password)); });
}

bool PasswordHasher::TryVerify(std::optional<std::string> storedHash, std::string password,
                               std::function<void(std::optional<bool>)> done) {
    return queue_.TryPush([this, queued = std::chrono::steady_clock::now(),
                           storedHash = std::move(storedHash), password = std::move(password),
                           done = std::move(done)] {
        if (Waited(queued))
            return done(std::nullopt);
        const bool matches = VerifyNow(storedHash.value_or(kStandInHash), password);
        done(matches && storedHash.has_value());
    });
}
