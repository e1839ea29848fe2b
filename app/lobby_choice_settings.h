// The lobbies the player has used before, as zellhop.ini keeps them beside
// LobbyHost (the lobby in use): [MULTI] Lobbies=, the login dialog's field
// texts ("host" or "host:port") joined by commas, the last chosen first.
#pragma once

#include "profile_file.h"

#include <string>
#include <vector>

inline constexpr const char* kUsedLobbiesSection = "MULTI";
inline constexpr const char* kUsedLobbiesKey = "Lobbies";

// The list, entries that do not read as a lobby and repeats left out;
// empty when the file or the key is missing.
std::vector<std::string> ReadUsedLobbies(const ProfileFile& ini);
// Writes the list, as many whole entries as a value holds.  A file without
// the key gets it only when the list has something to keep.  Throws
// std::runtime_error when the file cannot be written.
void WriteUsedLobbies(ProfileFile& ini, const std::vector<std::string>& lobbies);

// The lobby logged in to, kept at once in the settings file at `path`:
// LobbyHost and the lobbies used before.  A file that cannot be written
// is left alone: the choice is written again at close.
void KeepLobbyChoice(const std::string& path, const std::string& lobbyHost,
                     const std::vector<std::string>& used);
