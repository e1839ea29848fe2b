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

// Values inside the reserved messages.
inline constexpr int kReplyAccepted = 1;  // item 0 of an admitting connect reply
inline constexpr int kReplyCookie = 2;    // ... of a host's answer that wants its cookie back
inline constexpr int kJustJoined = 1;     // item 2 of a peer announcement: a newcomer
inline constexpr int kAlreadyPresent = 0; // ... a member who was there before

// Item kinds.
inline constexpr int ikInteger = 0;
inline constexpr int ikString = 1;

// Limits: the item count is one byte, a receiver stages each string in an
// area of 1025 bytes, and both ends send and receive through 2048-byte areas.
inline constexpr int kMaxItems = 255;
inline constexpr std::size_t kMaxStringBytes = 1025;
inline constexpr std::size_t kMaxDatagramBytes = 2048;

// The reliable-delivery extension.  Two programs that both announced it add
// one string item of kTrailerBytes at the end of every datagram between
// them; a program that speaks only the written protocol never receives one,
// except as the ignored last item of a connect request.
//   offset 0   4 bytes  kTrailerMagic
//   offset 4   1 byte   flags: kTrailerSequenced, kTrailerOffer
//   offset 5   4 bytes  the sender's session number (never 0)
//   offset 9   4 bytes  the message's sequence number (0 unless sequenced)
//   offset 13  4 bytes  acknowledgement: the lowest sequence number not yet
//                       received from the addressee
//   offset 17  4 bytes  acknowledgement bits: bit i set = that number + 1 + i
//                       received too
inline constexpr std::string_view kTrailerMagic = "ZhR\x01";
inline constexpr std::size_t kTrailerBytes = 21;
inline constexpr uint8_t kTrailerSequenced = 0x01; // one of the sender's tracked messages, in order
inline constexpr uint8_t kTrailerOffer = 0x02;     // connect request or reply: "I speak it"
inline constexpr uint8_t kTrailerSealed = 0x04;    // the datagram is sealed (link_seal.h)
inline constexpr uint32_t kAckBitCount = 32;
// What sealing adds to the trailer item (link_seal.h): the datagram's
// number and the tag.
inline constexpr std::size_t kSealNumberBytes = 8;
inline constexpr std::size_t kSealTagBytes = 16;
inline constexpr std::size_t kSealBytes = kSealNumberBytes + kSealTagBytes;

// A trailer as read or to be written.
struct TLinkTrailer {
    uint8_t flags = 0;
    uint32_t session = 0;
    uint32_t sequence = 0;
    uint32_t ackNext = 0;
    uint32_t ackBits = 0;
    bool Sequenced() const { return (flags & kTrailerSequenced) != 0; }
    bool Offer() const { return (flags & kTrailerOffer) != 0; }
};

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
inline constexpr std::size_t kTrailerItemBytes = kStringItemOverhead + kTrailerBytes;

// What a message of ours may hold: the format's limits less the room of the
// sealed trailer, so that every message can travel to either kind of peer.
inline constexpr int kMaxOwnItems = kMaxItems - 1;
inline constexpr std::size_t kMaxOwnDatagramBytes =
    kMaxDatagramBytes - kTrailerItemBytes - kSealBytes;

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

inline std::string EncodeTrailer(const TLinkTrailer& t) {
    std::string out(kTrailerMagic);
    PutLittleEndian(out, t.flags, 1);
    PutLittleEndian(out, t.session, 4);
    PutLittleEndian(out, t.sequence, 4);
    PutLittleEndian(out, t.ackNext, 4);
    PutLittleEndian(out, t.ackBits, 4);
    return out;
}

// The trailer in a string item's bytes; false when they are not one.
inline bool DecodeTrailer(std::string_view bytes, TLinkTrailer& t) {
    if (bytes.size() != kTrailerBytes || bytes.substr(0, kTrailerMagic.size()) != kTrailerMagic)
        return false;
    bytes.remove_prefix(kTrailerMagic.size());
    t.flags = static_cast<uint8_t>(GetLittleEndian(bytes, 1));
    t.session = GetLittleEndian(bytes.substr(1), 4);
    t.sequence = GetLittleEndian(bytes.substr(5), 4);
    t.ackNext = GetLittleEndian(bytes.substr(9), 4);
    t.ackBits = GetLittleEndian(bytes.substr(13), 4);
    return t.session != 0;
}
