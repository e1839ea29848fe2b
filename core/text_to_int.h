// Text to 32-bit integer, by the rules the game's numbers have always been
// read with (lobby replies, HTTP status codes, the settings file): leading
// blanks are skipped, a sign is allowed, "$", "0x" or "0X" introduce a
// hexadecimal value; an empty text, any other character anywhere (a
// trailing blank, CR or LF included) or a value outside 32 bits is invalid.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

std::optional<int32_t> TryStrToInt(std::string_view text);
// TryStrToInt, with `fallback` for an invalid text.
int32_t StrToIntDef(std::string_view text, int32_t fallback);
// The value of one hexadecimal digit, or -1.
int HexDigitValue(char ch);
