// The three settings kept between runs in zellhop.ini: the computer's
// speed, the jump-back option and the player's online name.
#pragma once

#include "profile_file.h"

#include <cstddef>
#include <string>

inline constexpr size_t kNicknameLength = 16; // characters the lobby takes

struct StoredSettings {
    int compSpeed = 1000;   // speed slider position; the slider clamps it
    bool jumpBack = false;  // any non-zero number reads as true
    std::string clientName; // the whole name, as the peers are told it
};

// The settings in the file, each one's default where it is missing or does
// not convert.
StoredSettings ReadSettings(const ProfileFile& ini);
// Writes all three, keeping everything else in the file.  Throws
// std::runtime_error when the file cannot be written.
void WriteSettings(ProfileFile& ini, const StoredSettings& settings);

// The first kNicknameLength characters of a UTF-8 name, never cutting one
// character in two.
std::string NicknameOf(const std::string& clientName);
