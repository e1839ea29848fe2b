#include "lan_announcement.h"

#include "utf8_text.h"

#include <algorithm>

namespace {

constexpr std::string_view kMagic = "ZHLN";
constexpr int kGameIdBytes = 8;

void PutText(std::string& out, const std::string& text, std::size_t limit) {
    const std::string cut = Utf8Prefix(text, limit);
    out.push_back(static_cast<char>(cut.size()));
    out += cut;
}

// Reads from the front of the bytes; every read first checks what is left.
class Reader {
  public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}

    bool Byte(std::uint8_t& value) {
        if (rest_.empty())
            return false;
        value = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return true;
    }
    bool Bytes(std::size_t count, std::string_view& value) {
        if (rest_.size() < count)
            return false;
        value = rest_.substr(0, count);
        rest_.remove_prefix(count);
        return true;
    }
    bool Text(std::size_t limit, std::string& value) {
        std::uint8_t length = 0;
        std::string_view bytes;
        if (!Byte(length) || length > limit || !Bytes(length, bytes))
            return false;
        value.assign(bytes);
        return true;
    }
    bool AtEnd() const { return rest_.empty(); }

  private:
    std::string_view rest_;
};

} // namespace

std::string EncodeLanAnnouncement(const TLanAnnouncement& announcement) {
    std::string out(kMagic);
    out.push_back(static_cast<char>(kLanVersion));
    out.push_back(static_cast<char>(announcement.kind));
    for (int i = 0; i < kGameIdBytes; ++i)
        out.push_back(static_cast<char>((announcement.gameId >> (8 * i)) & 0xff));
    PutText(out, announcement.name, kLanMaxNameBytes);
    PutText(out, announcement.players, kLanMaxPlayersBytes);
    return out;
}

std::optional<TLanAnnouncement> DecodeLanAnnouncement(std::string_view datagram) {
    if (datagram.size() > kLanMaxDatagramBytes)
        return std::nullopt;
    Reader in(datagram);
    std::string_view magic, id;
    std::uint8_t version = 0, kind = 0;
    if (!in.Bytes(kMagic.size(), magic) || magic != kMagic || !in.Byte(version) ||
        version != kLanVersion || !in.Byte(kind))
        return std::nullopt;
    if (kind < static_cast<std::uint8_t>(TLanKind::Open) ||
        kind > static_cast<std::uint8_t>(TLanKind::Running))
        return std::nullopt;
    TLanAnnouncement announcement;
    announcement.kind = static_cast<TLanKind>(kind);
    if (!in.Bytes(kGameIdBytes, id))
        return std::nullopt;
    for (int i = kGameIdBytes - 1; i >= 0; --i)
        announcement.gameId = (announcement.gameId << 8) | static_cast<std::uint8_t>(id[i]);
    if (!in.Text(kLanMaxNameBytes, announcement.name) ||
        !in.Text(kLanMaxPlayersBytes, announcement.players) || !in.AtEnd())
        return std::nullopt;
    return announcement;
}

std::string LanPlayersText(const SeatKinds& kinds) {
    const auto inPlay =
        std::count_if(kinds.begin(), kinds.end(), [](SeatKind kind) { return kind != skNone; });
    const auto open = std::count(kinds.begin(), kinds.end(), skOpen);
    return std::to_string(inPlay - open) + "/" + std::to_string(inPlay);
}
