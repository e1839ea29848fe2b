// Where the board picture goes in the main window's client area.
#pragma once

#include "board.h"

// The board is as high as the client area above the status bar, 30/31 of
// that wide, and flush with the right edge; the strip at the left holds the
// "YOUR TURN" label, the seat panel, the log and the chat.  A window taller
// than the board can be wide gets a smaller board, still 30/31 and flush
// right, rather than one that runs off the left edge.
PictureRect BoardRectFor(int clientWidth, int clientHeight, int statusBarHeight);
