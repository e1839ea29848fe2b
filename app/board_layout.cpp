#include "board_layout.h"

#include <algorithm>
#include <array>

namespace {

constexpr int kWidthShare = 30; // the board's width is 30/31 of its height
constexpr int kHeightShare = 31;

// The design: client area 624 × 530 above the status bar, the board 512 ×
// 530 at left 112, the log at (0, 408), 289 × 101, the chat line below it,
// 21 high.
constexpr int kDesignBoardWidth = 512;
constexpr int kDesignBoardHeight = 530;
constexpr int kDesignStrip = 112;
constexpr int kDesignLogTop = 408;
constexpr int kDesignLogWidth = 289;
constexpr int kChatHeight = 21;
constexpr int kLogGap = 8; // between the log and a board that leaves room

constexpr std::array<double, 3> kDesignDiameters = {16, kDesignPinDiameter, 24};

// The seat panel's design: pins of 21 pixels, 24 pixels apart from (8, 30),
// names at 30, two pixels below their pin's top.
constexpr int kPanelLeft = 8;
constexpr int kPanelTop = 30;
constexpr int kPanelLineHeight = 24;
constexpr int kPanelLineGap = 3;
constexpr int kPanelNameGap = 1;
constexpr int kDesignPinHeight = 21;
constexpr int kPanelNameDrop = 2;

} // namespace

PictureRect BoardRectFor(int clientWidth, int clientHeight, int statusBarHeight) {
    const int widest = std::max(clientWidth, 0) * kHeightShare / kWidthShare;
    const int height = std::clamp(clientHeight - statusBarHeight, 0, widest);
    const int width = height * kWidthShare / kHeightShare;
    const int strip = kDesignStrip * height / kDesignBoardHeight;
    const int free = clientWidth - width;
    const int left = free > strip ? strip + (free - strip) / 2 : free;
    return {left, 0, width, height};
}

ChatPanes ChatPanesFor(const PictureRect& board, int clientHeight, int statusBarHeight) {
    const int area = std::max(clientHeight - statusBarHeight, 0);
    const int width = std::max(kDesignLogWidth, board.left - kLogGap);
    const int chatTop = area - kChatHeight;
    const int logTop = kDesignLogTop * area / kDesignBoardHeight;
    return {{0, logTop, width, std::max(chatTop - logTop, 0)}, {0, chatTop, width, kChatHeight}};
}

double PinDiameterFor(int boardWidth, MarbleSize size) {
    const MarbleSize known =
        size >= kSmallMarbles && size <= kLargeMarbles ? size : kDefaultMarbleSize;
    return kDesignDiameters[known] * std::max(boardWidth, 0) / kDesignBoardWidth;
}

SeatLine SeatLineFor(int line, int pinWidth, int pinHeight) {
    const int lineHeight = std::max(kPanelLineHeight, pinHeight + kPanelLineGap);
    const int top = kPanelTop + lineHeight * line;
    const int drop = kPanelNameDrop + (pinHeight - kDesignPinHeight) / 2;
    return {{kPanelLeft, top}, {kPanelLeft + pinWidth + kPanelNameGap, top + drop}};
}
