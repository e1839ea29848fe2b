#include "program_key_file.h"

#include "config_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sodium.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kPairBytes = crypto_kx_PUBLICKEYBYTES + crypto_kx_SECRETKEYBYTES;
constexpr mode_t kOwnerOnly = 0600;

static_assert(crypto_kx_PUBLICKEYBYTES == sizeof(TProgramKey));
static_assert(crypto_kx_SECRETKEYBYTES == sizeof(TProgramKeyPair::secretKey));

TProgramKeyPair MakePair() {
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium cannot start");
    TProgramKeyPair pair;
    crypto_kx_keypair(pair.publicKey.data(), pair.secretKey.data());
    return pair;
}

// The public half recomputed from the secret one: a file cut or mixed up
// elsewhere does not pass.
bool BelongTogether(const TProgramKeyPair& pair) {
    TProgramKey derived{};
    crypto_scalarmult_base(derived.data(), pair.secretKey.data());
    return sodium_memcmp(derived.data(), pair.publicKey.data(), derived.size()) == 0;
}

std::optional<TProgramKeyPair> ReadPair(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes(kPairBytes + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::size_t>(in.gcount()) != kPairBytes)
        return std::nullopt;
    TProgramKeyPair pair;
    std::memcpy(pair.publicKey.data(), bytes.data(), pair.publicKey.size());
    std::memcpy(pair.secretKey.data(), bytes.data() + pair.publicKey.size(), pair.secretKey.size());
    sodium_memzero(bytes.data(), bytes.size());
    if (!BelongTogether(pair))
        return std::nullopt;
    return pair;
}

// Written to a new file made 0600 from the start, then moved over the old
// one: nobody ever sees a secret in a file readable by others, nor half a
// pair.
std::string WritePair(const std::filesystem::path& file, const TProgramKeyPair& pair) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    const std::filesystem::path fresh = file.string() + ".new";
    ::unlink(fresh.c_str());
    const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerOnly);
    if (fd < 0)
        return std::string(std::strerror(errno));
    std::string bytes(reinterpret_cast<const char*>(pair.publicKey.data()), pair.publicKey.size());
    bytes.append(reinterpret_cast<const char*>(pair.secretKey.data()), pair.secretKey.size());
    const bool written =
        ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    sodium_memzero(bytes.data(), bytes.size());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(fresh.c_str(), file.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(fresh.c_str());
        return why;
    }
    return {};
}

} // namespace

std::filesystem::path DefaultProgramKeyFile() {
    return ConfigFolder() / "program-key";
}

TLoadedProgramKey LoadOrMakeProgramKey(const std::filesystem::path& file) {
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium cannot start");
    TLoadedProgramKey loaded;
    if (const std::optional<TProgramKeyPair> pair = ReadPair(file)) {
        loaded.pair = *pair;
        loaded.kept = true;
        return loaded;
    }
    loaded.pair = MakePair();
    loaded.why = WritePair(file, loaded.pair);
    loaded.kept = loaded.why.empty();
    return loaded;
}
