#include "turn_credentials.h"

#include "base64_text.h"
#include "secret_file.h"
#include "sha1.h"

#include <algorithm>
#include <stdexcept>

namespace {

// coturn reads the secret as one word of its configuration.
constexpr std::size_t kMinSecretLength = 16;
constexpr std::size_t kMaxSecretLength = 256;

bool IsSecretCharacter(char c) {
    return c > ' ' && c <= '~' && c != '#';
}

} // namespace

TurnCredentials MintTurnCredentials(std::string_view secret, std::string_view name,
                                    std::int64_t expiresAt) {
    TurnCredentials credentials;
    credentials.user = std::to_string(expiresAt) + ":" + std::string(name);
    const sha1::Digest mac = sha1::Hmac(secret, credentials.user);
    credentials.password =
        base64_text::Encode(std::string_view(reinterpret_cast<const char*>(mac.data()), mac.size()),
                            sodium_base64_VARIANT_ORIGINAL);
    return credentials;
}

std::string ReadTurnSecretFile(const std::string& path) {
    std::string secret = secret_file::Read(path, "the relay's secret file");
    secret = secret.substr(0, secret.find('\n'));
    while (!secret.empty() && (secret.back() == '\r' || secret.back() == ' '))
        secret.pop_back();
    if (secret.size() < kMinSecretLength || secret.size() > kMaxSecretLength ||
        !std::all_of(secret.begin(), secret.end(), IsSecretCharacter))
        throw std::runtime_error("the relay's secret file " + path + " must hold one line of " +
                                 std::to_string(kMinSecretLength) + " to " +
                                 std::to_string(kMaxSecretLength) +
                                 " printable characters without blanks or #");
    return secret;
}
