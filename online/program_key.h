// This program's X25519 key pair for the run, made at the first call: its
// public half goes with the log-in, so that the lobby lists this program's
// games as of this version (running games too) and signs a ticket for it.
#pragma once

#include "lobby_ticket.h"

#include <array>

struct TProgramKeyPair {
    TProgramKey publicKey{};
    std::array<unsigned char, 32> secretKey{};
};

const TProgramKeyPair& ThisProgramKey();
