#pragma once

#include <string>
#include <string_view>

// What the lobby lets into what it stores, lists and logs. Names reach the
// game's list line by line and the web pages as they are, so they must be
// valid UTF-8 (shortest forms, no surrogates) and hold no control
// character: no C0 or C1 control, no DEL, no line or paragraph separator and
// none of the invisible marks that reorder a line (bidirectional controls),
// which would let a name pose as another on a page.
namespace clean_text {

bool IsClean(std::string_view text);

// The text as one line of the request log: printable ASCII stays, a
// backslash is doubled and every other byte becomes \xHH, so no request
// can start a line of its own or hide bytes in it.
std::string ForLog(std::string_view text);

} // namespace clean_text
