// Text from an untrusted machine (a game announced on the network) made
// safe to show on one line: valid UTF-8, with nothing that could pass for
// a line break, turn the writing direction round or pile marks above and
// below the line.  Plain C++.
#pragma once

#include <string>
#include <string_view>

// Broken UTF-8 becomes U+FFFD; control characters and line or paragraph
// separators become spaces; direction controls, zero-width and other
// invisible format characters are left out; a letter keeps at most
// kMaxStackedMarks combining marks; blanks at either end are trimmed.
std::string PlainText(std::string_view bytes);

inline constexpr int kMaxStackedMarks = 3;
