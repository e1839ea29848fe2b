// Feeds arbitrary bytes to the opening of a sealed datagram, as a third
// party on the path could send them, and checks the two promises of the
// seal: nothing that was not sealed by the peer opens, and what the peer
// sealed opens to exactly what it sealed.
//
// Input: the first byte says what to do with the rest.  Even: the rest is
// a datagram received from the network, opened by the receiving end (and
// it must not open).  Odd: the rest is taken as a plain datagram of the
// extension; when it ends with a trailer item, the sending end seals it,
// the receiving end opens it, and the two must match; one byte of the
// sealed bytes, chosen by the first byte, is then altered and must not
// open.
#include "link_seal.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

struct Ends {
    Ends() {
        std::array<unsigned char, kLinkKeyBytes> seed{};
        const TLinkKeyPair ann = TLinkKeyPair::FromSeed(seed);
        seed[0] = 1;
        const TLinkKeyPair bob = TLinkKeyPair::FromSeed(seed);
        sender.emplace(*TLinkSeal::Agree(ann, 11, bob.publicKey, 22));
        receiver.emplace(*TLinkSeal::Agree(bob, 22, ann.publicKey, 11));
    }
    std::optional<TLinkSeal> sender, receiver;
};

// Ends with a well-formed trailer item, as the link table makes them.
bool EndsWithTrailer(std::string_view datagram) {
    const std::size_t item = kStringItemOverhead + kTrailerBytes;
    if (datagram.size() < kHeaderBytes + item)
        return false;
    const std::string_view tail = datagram.substr(datagram.size() - item);
    TLinkTrailer trailer;
    return static_cast<unsigned char>(tail[0]) == ikString &&
           GetLittleEndian(tail.substr(1), kStringLengthBytes) == kTrailerBytes &&
           DecodeTrailer(tail.substr(kStringItemOverhead), trailer) &&
           (trailer.flags & kTrailerSealed) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Ends ends;
    if (size == 0)
        return 0;
    const uint8_t control = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string opened;
    if ((control & 1) == 0) {
        if (ends.receiver->Open(rest, opened) == TLinkSeal::TOpened::Fresh)
            std::abort(); // a forgery opened
        return 0;
    }
    if (!EndsWithTrailer(rest) || rest.size() + kSealBytes > 0xFFFF)
        return 0;
    std::string sealed = ends.sender->Seal(rest);
    // The length field is the sealer's own; everything after it must match.
    if (ends.receiver->Open(sealed, opened) != TLinkSeal::TOpened::Fresh ||
        opened.substr(kLengthFieldBytes) != rest.substr(kLengthFieldBytes))
        std::abort();
    sealed[control % sealed.size()] ^= 0x01;
    if (ends.receiver->Open(sealed, opened) == TLinkSeal::TOpened::Fresh)
        std::abort();
    return 0;
}
