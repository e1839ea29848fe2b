#include "sha1.h"

#include <string>

namespace sha1 {
namespace {

constexpr std::size_t kBlockBytes = 64;
constexpr std::size_t kLengthBytes = 8; // the message length in bits, at the end of the last block
constexpr std::uint8_t kFirstPad = 0x80;
constexpr std::uint8_t kInnerPad = 0x36;
constexpr std::uint8_t kOuterPad = 0x5c;
constexpr std::array<std::uint32_t, 5> kInitialState = {0x67452301, 0xEFCDAB89, 0x98BADCFE,
                                                        0x10325476, 0xC3D2E1F0};
constexpr std::array<std::uint32_t, 4> kRoundConstants = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC,
                                                          0xCA62C1D6};

std::uint32_t RotateLeft(std::uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

std::uint32_t Mix(int round, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    switch (round / 20) {
    case 0:
        return (b & c) | (~b & d);
    case 2:
        return (b & c) | (b & d) | (c & d);
    default:
        return b ^ c ^ d;
    }
}

void Compress(std::array<std::uint32_t, 5>& state, const std::uint8_t* block) {
    std::array<std::uint32_t, 80> words{};
    for (std::size_t i = 0; i < 16; ++i)
        words[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
                   std::uint32_t{block[4 * i + 2]} << 8 | std::uint32_t{block[4 * i + 3]};
    for (std::size_t i = 16; i < words.size(); ++i)
        words[i] = RotateLeft(words[i - 3] ^ words[i - 8] ^ words[i - 14] ^ words[i - 16], 1);
    auto [a, b, c, d, e] = state;
    for (int round = 0; round < 80; ++round) {
        const std::uint32_t next = RotateLeft(a, 5) + Mix(round, b, c, d) + e +
                                   kRoundConstants[static_cast<std::size_t>(round / 20)] +
                                   words[static_cast<std::size_t>(round)];
        e = d;
        d = c;
        c = RotateLeft(b, 30);
        b = a;
        a = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

// The message's tail: a 1 bit, zeros, and the length, filling whole blocks.
std::string Padding(std::size_t messageBytes) {
    std::string tail(1, static_cast<char>(kFirstPad));
    while ((messageBytes + tail.size()) % kBlockBytes != kBlockBytes - kLengthBytes)
        tail += '\0';
    const std::uint64_t bits = static_cast<std::uint64_t>(messageBytes) * 8;
    for (int shift = 56; shift >= 0; shift -= 8)
        tail += static_cast<char>((bits >> shift) & 0xff);
    return tail;
}

} // namespace

Digest Hash(std::string_view message) {
    std::array<std::uint32_t, 5> state = kInitialState;
    const std::size_t whole = message.size() / kBlockBytes * kBlockBytes;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(message.data());
    for (std::size_t at = 0; at < whole; at += kBlockBytes)
        Compress(state, bytes + at);
    const std::string last = std::string(message.substr(whole)) + Padding(message.size());
    for (std::size_t at = 0; at < last.size(); at += kBlockBytes)
        Compress(state, reinterpret_cast<const std::uint8_t*>(last.data()) + at);
    Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i)
        digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

// RFC 2104: a key longer than a block is hashed first.
Digest Hmac(std::string_view key, std::string_view message) {
    std::string blockKey(key);
    if (blockKey.size() > kBlockBytes) {
        const Digest hashed = Hash(blockKey);
        blockKey.assign(hashed.begin(), hashed.end());
    }
    blockKey.resize(kBlockBytes, '\0');
    std::string inner(kBlockBytes, '\0');
    std::string outer(kBlockBytes, '\0');
    for (std::size_t i = 0; i < kBlockBytes; ++i) {
        inner[i] = static_cast<char>(blockKey[i] ^ kInnerPad);
        outer[i] = static_cast<char>(blockKey[i] ^ kOuterPad);
    }
    const Digest innerHash = Hash(inner + std::string(message));
    return Hash(outer + std::string(innerHash.begin(), innerHash.end()));
}

} // namespace sha1
