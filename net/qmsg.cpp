#include "qmsg.h"

#include "udp_endpoint.h"

#include <algorithm>

namespace {

// Reads the parts of one received message and refuses to go past its end.
class ItemReader {
  public:
    explicit ItemReader(std::string_view bytes) : bytes_(bytes) {}

    std::string_view Take(std::size_t count) {
        if (count > bytes_.size() - pos_)
            throw DatagramError(kReadErrorText);
        const std::string_view part = bytes_.substr(pos_, count);
        pos_ += count;
        return part;
    }
    uint32_t Number(std::size_t width) { return GetLittleEndian(Take(width), width); }

  private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

} // namespace

void TQMsg::CheckRoom(std::size_t itemBytes) const {
    if (ItemCount() >= kMaxOwnItems)
        throw std::length_error(kTooManyItemsText);
    if (EncodedSize + itemBytes > kMaxOwnDatagramBytes)
        throw std::length_error(kMessageTooLongText);
}

void TQMsg::AddInt(int32_t value) {
    CheckRoom(kIntegerItemBytes);
    Ints.push_back(value);
    Kinds.push_back(ikInteger);
    Strs.emplace_back();
    EncodedSize += kIntegerItemBytes;
}

void TQMsg::AddStr(const std::string& s) {
    if (s.size() > kMaxStringBytes)
        throw std::length_error(kStringTooLongText);
    CheckRoom(kStringItemOverhead + s.size());
    Ints.push_back(0);
    Kinds.push_back(ikString);
    Strs.push_back(s);
    EncodedSize += kStringItemOverhead + s.size();
}

std::size_t TQMsg::StrRoom() const {
    if (ItemCount() >= kMaxOwnItems || EncodedSize + kStringItemOverhead > kMaxOwnDatagramBytes)
        return 0;
    return std::min(kMaxStringBytes, kMaxOwnDatagramBytes - EncodedSize - kStringItemOverhead);
}

int TQMsg::ItemKind(int index) const {
    return index >= 0 && index < ItemCount() ? Kinds[index] : -1;
}

int32_t TQMsg::IntAt(int index) const {
    return index >= 0 && index < ItemCount() ? Ints[index] : 0;
}

std::string TQMsg::StrAt(int index) const {
    return index >= 0 && index < ItemCount() ? Strs[index] : std::string();
}

std::string TQMsg::Encode() const {
    return EncodeItems({});
}

std::string TQMsg::EncodeWithTrailer(std::string_view trailer) const {
    return EncodeItems(trailer);
}

void TQMsg::RemoveLastItem() {
    if (ItemCount() == 0)
        return;
    EncodedSize -= Kinds.back() == ikInteger  ? kIntegerItemBytes
                   : Kinds.back() == ikString ? kStringItemOverhead + Strs.back().size()
                                              : 1;
    Ints.pop_back();
    Kinds.pop_back();
    Strs.pop_back();
}

// The items, and the trailer as one more string item when there is one.
std::string TQMsg::EncodeItems(std::string_view trailer) const {
    const int count = ItemCount() + (trailer.empty() ? 0 : 1);
    std::string out;
    PutLittleEndian(out, 0, kLengthFieldBytes); // filled in below
    PutLittleEndian(out, static_cast<uint32_t>(MsgType), 1);
    PutLittleEndian(out, static_cast<uint32_t>(count), 1);
    for (int i = 0; i < ItemCount(); ++i) {
        PutLittleEndian(out, static_cast<uint32_t>(Kinds[i]), 1);
        if (Kinds[i] == ikInteger) {
            PutLittleEndian(out, static_cast<uint32_t>(Ints[i]), kIntegerBytes);
        } else if (Kinds[i] == ikString) {
            PutLittleEndian(out, static_cast<uint32_t>(Strs[i].size()), kStringLengthBytes);
            out += Strs[i];
        }
    }
    if (!trailer.empty()) {
        PutLittleEndian(out, ikString, 1);
        PutLittleEndian(out, static_cast<uint32_t>(trailer.size()), kStringLengthBytes);
        out += trailer;
    }
    std::string length;
    PutLittleEndian(length, static_cast<uint32_t>(out.size()), kLengthFieldBytes);
    out.replace(0, kLengthFieldBytes, length);
    return out;
}

void TQMsg::Send() {
    if (Endpoint != nullptr) {
        TMemoryStream datagram(Encode());
        // A host name look-up inside a send runs the event loop, and an
        // acknowledgement handled meanwhile may strike a recipient: walk a copy.
        const std::vector<TpContact> addressees = Recipients;
        for (const TpContact& contact : addressees) {
            Endpoint->setRemoteHost(contact->Address);
            Endpoint->SendStream(datagram);
        }
    }
    ++SendCount;
}

void TQMsg::AppendReceived(std::string_view datagram) {
    Buffer.SeekToEnd();
    Buffer.Write(datagram);
}

int TQMsg::Decode(bool appendReceived) {
    if (appendReceived && Endpoint != nullptr) {
        Buffer.SeekToEnd();
        Endpoint->ReadStream(Buffer);
    }
    const std::string_view bytes = Buffer.Bytes();
    Total = 0;
    if (bytes.size() >= kHeaderBytes) {
        const uint32_t declared = GetLittleEndian(bytes, kLengthFieldBytes);
        if (declared < kHeaderBytes || declared > kMaxDatagramBytes)
            throw DatagramError(kBadLengthText);
        Total = static_cast<int>(declared);
        if (bytes.size() >= declared)
            ParseItems(bytes.substr(0, declared));
    }
    Buffer.Seek(static_cast<std::size_t>(Total));
    return Total - static_cast<int>(bytes.size());
}

// Fills the items from one whole message, or leaves them untouched when the
// message is malformed.
void TQMsg::ParseItems(std::string_view message) {
    ItemReader in(message.substr(kLengthFieldBytes));
    const int kind = static_cast<int>(in.Number(1));
    const int count = static_cast<int>(in.Number(1));
    std::vector<int32_t> ints(count, 0);
    std::vector<int32_t> kinds(count, 0);
    std::vector<std::string> strs(count);
    std::size_t encoded = kHeaderBytes;
    for (int i = 0; i < count; ++i) {
        kinds[i] = static_cast<int32_t>(in.Number(1));
        encoded += 1;
        if (kinds[i] == ikInteger) {
            ints[i] = static_cast<int32_t>(in.Number(kIntegerBytes));
            encoded += kIntegerBytes;
        } else if (kinds[i] == ikString) {
            const auto length = static_cast<int16_t>(in.Number(kStringLengthBytes));
            if (length < 0 || static_cast<std::size_t>(length) > kMaxStringBytes)
                throw DatagramError(kBadStringLengthText);
            strs[i] = std::string(in.Take(static_cast<std::size_t>(length)));
            encoded += kStringLengthBytes + strs[i].size();
        }
    }
    MsgType = kind;
    Ints = std::move(ints);
    Kinds = std::move(kinds);
    Strs = std::move(strs);
    EncodedSize = encoded;
}
