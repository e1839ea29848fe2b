#include "praise.h"

#include <algorithm>
#include <array>

namespace {
constexpr std::array<std::string_view, kHighestPraise + 1> kPraise = {
    "",
    "...",
    "Ok",
    "Fine",
    "Good!",
    "Cool!",
    "Wow!",
    "Awesome!",
    "Impressive!",
    "You're in good shape today!",
    "Masterfully done!",
    "How the heck did you do that?",
    "OMG!! That's something!!!",
    "Not enough messages to tell you how cool that move was.",
};
} // namespace

std::string_view Praise(int index) {
    return kPraise[std::clamp(index, 0, kHighestPraise)];
}

int PraiseIndexFor(int nodeCount) {
    return std::clamp(nodeCount - 1, 0, kHighestPraise);
}
