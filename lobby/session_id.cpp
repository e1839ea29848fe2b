#include "session_id.h"

#include <algorithm>
#include <sodium.h>
#include <stdexcept>
#include <string_view>

std::string NewSessionId() {
    constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium could not be initialised");
    std::string id(kSessionIdLength, ' ');
    for (char& c : id)
        c = kAlphabet[randombytes_uniform(static_cast<std::uint32_t>(kAlphabet.size()))];
    return id;
}

bool IsSessionId(std::string_view text) {
    return text.size() == kSessionIdLength && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
           });
}
