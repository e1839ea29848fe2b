#include "settings.h"

namespace {
const char* const kMain = "MAIN";
const char* const kMulti = "MULTI";
const char* const kCompSpeed = "CompSpeed";
const char* const kJumpBack = "JumpBack";
const char* const kNickname = "Nickname";

bool IsContinuationByte(unsigned char c) {
    return (c & 0xC0) == 0x80;
}
} // namespace

StoredSettings ReadSettings(const ProfileFile& ini) {
    StoredSettings s;
    s.compSpeed = ini.ReadInteger(kMain, kCompSpeed, s.compSpeed);
    s.jumpBack = ini.ReadInteger(kMain, kJumpBack, 0) != 0;
    s.clientName = ini.ReadString(kMulti, kNickname, "");
    return s;
}

void WriteSettings(ProfileFile& ini, const StoredSettings& settings) {
    ini.WriteString(kMain, kCompSpeed, std::to_string(settings.compSpeed));
    ini.WriteString(kMain, kJumpBack, settings.jumpBack ? "1" : "0");
    ini.WriteString(kMulti, kNickname, settings.clientName);
}

std::string NicknameOf(const std::string& clientName) {
    size_t characters = 0;
    size_t end = 0;
    while (end < clientName.size()) {
        if (!IsContinuationByte(static_cast<unsigned char>(clientName[end])) &&
            ++characters > kNicknameLength)
            break;
        ++end;
    }
    return clientName.substr(0, end);
}
