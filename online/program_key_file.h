// The program's own key pair for crypto_kx (X25519): its public half goes
// to the lobby at log-in, which signs it into the program's ticket.  It is
// made once and kept in a file of its own beside the settings, readable by
// the player only; where that file cannot be read or written the program
// makes a pair for this run.  Plain C++ with libsodium.
#pragma once

#include "lobby_ticket.h"

#include <array>
#include <filesystem>
#include <string>

struct TProgramKeyPair {
    TProgramKey publicKey{};
    std::array<unsigned char, 32> secretKey{};
};

struct TLoadedProgramKey {
    TProgramKeyPair pair;
    bool kept = false; // in the file; false: made for this run only
    std::string why;   // when not kept: what went wrong, for the log
};

// $XDG_CONFIG_HOME/zellhop/program-key ($HOME/.config when unset).
std::filesystem::path DefaultProgramKeyFile();

// The pair in `file`, or a new one written there (mode 0600, the folder
// made as needed).  A file that does not hold exactly one pair whose
// halves belong together is replaced.
TLoadedProgramKey LoadOrMakeProgramKey(const std::filesystem::path& file);
