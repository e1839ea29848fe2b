#include "settings.h"

#include "utf8_text.h"

namespace {
const char* const kMain = "MAIN";
const char* const kMulti = "MULTI";
const char* const kCompSpeed = "CompSpeed";
const char* const kJumpBack = "JumpBack";
const char* const kMarbleSize = "MarbleSize";
const char* const kShowLastMove = "ShowLastMove";
const char* const kLevels = "Levels";
const char* const kNickname = "Nickname";
const char* const kLobbyHost = "LobbyHost";
const char* const kLocalAddress = "LocalAddress";
constexpr int kHighestPort = 65535;
constexpr int kAddressParts = 4;
constexpr int kHighestAddressPart = 255;
constexpr size_t kLongestAddressPart = 3;
} // namespace

StoredSettings ReadSettings(const ProfileFile& ini) {
    StoredSettings s;
    s.compSpeed = ini.ReadInteger(kMain, kCompSpeed, s.compSpeed);
    s.jumpBack = ini.ReadInteger(kMain, kJumpBack, 0) != 0;
    const int marbleSize = ini.ReadInteger(kMain, kMarbleSize, s.marbleSize);
    if (marbleSize >= kSmallMarbles && marbleSize <= kLargeMarbles)
        s.marbleSize = static_cast<MarbleSize>(marbleSize);
    const int showLastMove = ini.ReadInteger(kMain, kShowLastMove, s.showLastMove);
    if (showLastMove == 0 || showLastMove == 1)
        s.showLastMove = showLastMove == 1;
    s.levels = ParseLevels(ini.ReadString(kMain, kLevels, ""));
    s.clientName = ini.ReadString(kMulti, kNickname, "");
    const std::string lobbyHost = ini.ReadString(kMulti, kLobbyHost, s.lobbyHost);
    if (ParseLobbyHost(lobbyHost))
        s.lobbyHost = lobbyHost;
    const std::string localAddress = ini.ReadString(kMulti, kLocalAddress, s.localAddress);
    if (IsDottedIPv4(localAddress))
        s.localAddress = localAddress;
    return s;
}

void WriteSettings(ProfileFile& ini, const StoredSettings& settings) {
    ini.WriteString(kMain, kCompSpeed, std::to_string(settings.compSpeed));
    ini.WriteString(kMain, kJumpBack, settings.jumpBack ? "1" : "0");
    ini.WriteString(kMain, kMarbleSize, std::to_string(settings.marbleSize));
    // At its default the setting is not added to a file that lacks it.
    const bool present = ini.ReadString(kMain, kShowLastMove).has_value();
    if (present || !settings.showLastMove)
        ini.WriteString(kMain, kShowLastMove, settings.showLastMove ? "1" : "0");
    // Every seat Classic is not added to a file that lacks the key either.
    const bool levelsPresent = ini.ReadString(kMain, kLevels).has_value();
    if (levelsPresent || settings.levels != ComputerLevels{})
        ini.WriteString(kMain, kLevels, LevelLetters(settings.levels));
    ini.WriteString(kMulti, kNickname, settings.clientName);
    ini.WriteString(kMulti, kLobbyHost, settings.lobbyHost);
    ini.WriteString(kMulti, kLocalAddress, settings.localAddress);
}

namespace {

// A plain decimal number of at most `digits` digits, or nothing.
std::optional<int> Decimal(const std::string& text, size_t digits) {
    if (text.empty() || text.size() > digits)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::optional<LobbyHostPort> ParseLobbyHost(const std::string& setting) {
    const size_t colon = setting.rfind(':');
    LobbyHostPort lobby{setting.substr(0, colon), kDefaultLobbyPort};
    if (colon != std::string::npos) {
        const std::optional<int> port = Decimal(setting.substr(colon + 1), 5);
        if (!port || *port < 1 || *port > kHighestPort)
            return std::nullopt;
        lobby.port = *port;
    }
    if (lobby.host.empty() || lobby.host.find_first_of(" \t/") != std::string::npos)
        return std::nullopt;
    return lobby;
}

bool IsDottedIPv4(const std::string& text) {
    size_t start = 0;
    for (int part = 0; part < kAddressParts; ++part) {
        const size_t dot = part + 1 < kAddressParts ? text.find('.', start) : text.size();
        if (dot == std::string::npos)
            return false;
        const std::optional<int> value =
            Decimal(text.substr(start, dot - start), kLongestAddressPart);
        if (!value || *value > kHighestAddressPart)
            return false;
        start = dot + 1;
    }
    return true;
}

ComputerLevels ParseLevels(const std::string& letters) {
    ComputerLevels levels{};
    for (size_t i = 0; i < levels.size() && i < letters.size(); ++i)
        levels[i] = LevelFromLetter(letters[i]).value_or(ComputerLevel::kClassic);
    return levels;
}

std::string LevelLetters(const ComputerLevels& levels) {
    std::string letters;
    for (const ComputerLevel level : levels)
        letters += LevelLetter(level);
    return letters;
}
