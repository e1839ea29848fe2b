// Where the board, the log, the chat line, the seat panel and the pins go
// in the main window's client area.  At the window's first size the layout
// is the one the window was designed with; larger windows scale it.
#pragma once

#include "board.h"

// The marble sizes of the options: the diameter of marbles and pins at the
// design size of the board is 16, 20 or 24 pixels.
enum MarbleSize { kSmallMarbles = 0, kMediumMarbles = 1, kLargeMarbles = 2 };
inline constexpr MarbleSize kDefaultMarbleSize = kMediumMarbles;
// Medium pins at the design size: the size the pin pictures are drawn for.
inline constexpr double kDesignPinDiameter = 20;

// The board is as high as the client area above the status bar and 30/31
// of that wide.  Right of the strip that holds the "YOUR TURN" label and
// the seat panel (112 pixels at the design size, growing with the board)
// it is centred in the space left; where that space is too narrow it is
// flush with the right edge, over the strip.  A window taller than the
// board can be wide gets a smaller board, still 30/31, rather than one
// that runs off the left edge.
PictureRect BoardRectFor(int clientWidth, int clientHeight, int statusBarHeight);

// The game log and the chat line below it: at the left edge, the chat line
// on the status bar, the log above it.  They grow taller with the window
// and wider as far as the board leaves room, never narrower than designed.
struct ChatPanes {
    PictureRect log;
    PictureRect chat;
};
ChatPanes ChatPanesFor(const PictureRect& board, int clientHeight, int statusBarHeight);

// The diameter of marbles and pins on a board `boardWidth` pixels wide: a
// fixed share of the hole spacing.
double PinDiameterFor(int boardWidth, MarbleSize size);

// The seat panel's lines, one per taking-part seat: the pin at the left,
// the name beside it.  Lines grow apart when the pins grow.
struct SeatLine {
    PixelPoint pin;
    PixelPoint name;
};
SeatLine SeatLineFor(int line, int pinWidth, int pinHeight);
