// Texts of the game's core and of other machines (peers' names and chat,
// the lobby's game names) as the windows show them.
#pragma once

#include <QString>
#include <string_view>

// UTF-8 text as it is.
QString Text(std::string_view text);
// Another machine's UTF-8 text on one line: its line breaks and other
// control characters could otherwise pass for lines of our own.
QString Shown(std::string_view text);
