// The praise the status bar gives a human's move, growing with the number
// of distinct holes the marble has landed on this turn.
#pragma once

#include <string_view>

inline constexpr int kHighestPraise = 13;

// Text of praise index 0..13 (the first move of a turn gets the empty text).
std::string_view Praise(int index);
// The praise index for a path of `nodeCount` landing holes.
int PraiseIndexFor(int nodeCount);
