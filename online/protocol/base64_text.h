// Base64 as the lobby protocol writes it, through libsodium, which both
// the game and the lobby link: base64url without padding for keys and
// tickets, the original alphabet with padding for the relay's password.
#pragma once

#include <optional>
#include <sodium.h>
#include <string>
#include <string_view>

namespace base64_text {

inline std::string Encode(std::string_view bytes, int variant) {
    std::string text(sodium_base64_encoded_len(bytes.size(), variant), '\0');
    sodium_bin2base64(text.data(), text.size(),
                      reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), variant);
    text.resize(text.find('\0'));
    return text;
}

// nullopt for text that is not wholly of the variant, or longer than
// `maxBytes` decoded.
inline std::optional<std::string> Decode(std::string_view text, int variant, std::size_t maxBytes) {
    if (text.size() / 4 * 3 > maxBytes + 2)
        return std::nullopt;
    std::string bytes(text.size() / 4 * 3 + 3, '\0');
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), text.data(),
                          text.size(), nullptr, &length, &end, variant) != 0 ||
        end != text.data() + text.size() || length > maxBytes)
        return std::nullopt;
    bytes.resize(length);
    return bytes;
}

inline std::string EncodeUrl(std::string_view bytes) {
    return Encode(bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING);
}
inline std::optional<std::string> DecodeUrl(std::string_view text, std::size_t maxBytes) {
    return Decode(text, sodium_base64_VARIANT_URLSAFE_NO_PADDING, maxBytes);
}

} // namespace base64_text
