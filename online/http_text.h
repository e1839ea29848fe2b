// Small text helpers of the HTTP client: header names and a few values are
// compared without regard to letter case, and values lose their blanks.
#pragma once

#include <string>
#include <string_view>

// True when the texts are equal, ASCII letters compared without case.
bool SameText(std::string_view a, std::string_view b);
// True when `text` contains `word`, ASCII letters compared without case.
bool ContainsText(std::string_view text, std::string_view word);
// A blank or a tab: what separates and surrounds header values.
bool IsBlank(char ch);
// `text` without leading and trailing blanks and tabs.
std::string_view TrimBlanks(std::string_view text);
// True for CR, LF and NUL: bytes that would break a request into pieces.
bool HasLineBreak(std::string_view text);
