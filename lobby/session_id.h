#pragma once

#include "lobby_protocol.h"

#include <cstddef>
#include <string>
#include <string_view>

// A new lobby session id: letters and digits only, so that it travels
// unencoded in the game's queries and fits the game's 32-character field.
constexpr std::size_t kSessionIdLength = lobby_protocol::kSessionIdLength;

std::string NewSessionId();
// Whether a text has the form of one, before the database is asked.
bool IsSessionId(std::string_view text);
