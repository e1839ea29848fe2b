// The peer protocol's datagram format in one place: the reserved message
// kinds, the item kinds, the size limits and the two little-endian helpers
// through which every number on the wire is written and read.
//
// One datagram carries one message:
//   offset 0  4 bytes  total length of the datagram, these 4 bytes included
//   offset 4  1 byte   message kind
//   offset 5  1 byte   number of items
//   offset 6  ...      the items: a kind byte, then 4 bytes of a signed
//                      integer, or 2 bytes of length n and n string bytes
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Message kinds 0..250 belong to the game; these five to the connection
// manager.
inline constexpr int kLastApplicationKind = 250;
inline constexpr int mtDisconnect = 251;     // a member leaves
inline constexpr int mtPeerInfo = 252;       // the host introduces one member
inline constexpr int mtConnectReply = 253;   // the host admits or refuses a joiner
inline constexpr int mtConnectRequest = 254; // a joiner asks the host
inline constexpr int mtAck = 255;            // the receiver confirms one message
inline constexpr int kMessageKinds = 256;    // the kind is one byte on the wire

// Item kinds.
inline constexpr int ikInteger = 0;
inline constexpr int ikString = 1;

// Limits: the item count is one byte, a receiver stages each string in an
// area of 1025 bytes, and both ends send and receive through 2048-byte areas.
inline constexpr int kMaxItems = 255;
inline constexpr std::size_t kMaxStringBytes = 1025;
inline constexpr std::size_t kMaxDatagramBytes = 2048;

// Our refusals of content that does not fit.
inline constexpr const char* kTooManyItemsText = "Too many items in one message";
inline constexpr const char* kStringTooLongText = "String item longer than 1025 bytes";
inline constexpr const char* kMessageTooLongText = "Message longer than 2048 bytes";

// Sizes of the parts of a datagram.
inline constexpr std::size_t kLengthFieldBytes = 4;
inline constexpr std::size_t kHeaderBytes = 6; // length, kind, item count
inline constexpr std::size_t kIntegerBytes = 4;
inline constexpr std::size_t kStringLengthBytes = 2;
inline constexpr std::size_t kIntegerItemBytes = 1 + kIntegerBytes;
inline constexpr std::size_t kStringItemOverhead = 1 + kStringLengthBytes;

// Appends the low `width` bytes of value, least significant first.
inline void PutLittleEndian(std::string& out, uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Reads `width` bytes, least significant first; the caller has checked that
// they are there.
inline uint32_t GetLittleEndian(std::string_view bytes, std::size_t width) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= uint32_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
    return value;
}
