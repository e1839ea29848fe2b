// The settings kept between runs in zellhop.ini: the computer's speed, the
// jump-back option, the marble size, whether the last moves are shown, the
// computer's level per colour, the player's online name, the lobby's host
// and the local address online play binds to.
#pragma once

#include "board_layout.h"
#include "computer_level.h"
#include "lobby_client.h"
#include "profile_file.h"

#include <cstddef>
#include <optional>
#include <string>

inline constexpr const char* kDefaultLobbyHost = "localhost";
inline constexpr const char* kAnyLocalAddress = "0.0.0.0";
inline constexpr int kDefaultLobbyPort = 80;

struct StoredSettings {
    int compSpeed = 1000;                       // speed slider position; the slider clamps it
    bool jumpBack = false;                      // any non-zero number reads as true
    MarbleSize marbleSize = kDefaultMarbleSize; // 0, 1 or 2; anything else reads as 1
    bool showLastMove = true;                   // 0 or 1; anything else reads as the default
    // In colour order, one letter each ("CSCCEC"); a letter that names no
    // level, or one missing, reads as Classic.
    ComputerLevels levels{};
    std::string clientName; // the whole name, as the peers are told it
    // "host" or "host:port" (port 80 unless given); also the web host of
    // the account pages and the about box's link.
    std::string lobbyHost = kDefaultLobbyHost;
    // Dotted IPv4 address that the peer messaging and the lobby requests
    // go out from; "0.0.0.0" for any.
    std::string localAddress = kAnyLocalAddress;
};

// The lobby host setting split into host and port; nothing when it is
// empty or its port is not a number 1..65535.
struct LobbyHostPort {
    std::string host;
    int port = kDefaultLobbyPort;
};
std::optional<LobbyHostPort> ParseLobbyHost(const std::string& setting);
// Four decimal numbers 0..255 joined by dots.
bool IsDottedIPv4(const std::string& text);

// The settings in the file, each one's default where it is missing or does
// not convert.
StoredSettings ReadSettings(const ProfileFile& ini);
// Writes them all, keeping everything else in the file.  Throws
// std::runtime_error when the file cannot be written.
void WriteSettings(ProfileFile& ini, const StoredSettings& settings);

// The levels as the settings file keeps them, and back.
ComputerLevels ParseLevels(const std::string& letters);
std::string LevelLetters(const ComputerLevels& levels);
