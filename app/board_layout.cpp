#include "board_layout.h"

#include <algorithm>

namespace {
constexpr int kWidthShare = 30; // the board's width is 30/31 of its height
constexpr int kHeightShare = 31;
} // namespace

PictureRect BoardRectFor(int clientWidth, int clientHeight, int statusBarHeight) {
    const int widest = std::max(clientWidth, 0) * kHeightShare / kWidthShare;
    const int height = std::clamp(clientHeight - statusBarHeight, 0, widest);
    const int width = height * kWidthShare / kHeightShare;
    return {clientWidth - width, 0, width, height};
}
