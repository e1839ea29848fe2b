#include "lobby_choice_settings.h"

#include "lobby_address.h"

namespace {

// The longest value the settings file hands back whole.
constexpr std::size_t kLongestValue = 2047;

} // namespace

std::vector<std::string> ReadUsedLobbies(const ProfileFile& ini) {
    return ParseUsedLobbies(ini.ReadString(kUsedLobbiesSection, kUsedLobbiesKey, ""));
}

void WriteUsedLobbies(ProfileFile& ini, const std::vector<std::string>& lobbies) {
    const bool present = ini.ReadString(kUsedLobbiesSection, kUsedLobbiesKey).has_value();
    if (!present && lobbies.empty())
        return;
    ini.WriteString(kUsedLobbiesSection, kUsedLobbiesKey, UsedLobbiesValue(lobbies, kLongestValue));
}

void KeepLobbyChoice(const std::string& path, const std::string& lobbyHost,
                     const std::vector<std::string>& used) {
    try {
        ProfileFile ini(path);
        ini.WriteString(kUsedLobbiesSection, "LobbyHost", lobbyHost);
        WriteUsedLobbies(ini, used);
    } catch (const std::exception&) {
        // Kept for this run.
    }
}
