// The program icon as the windows and the about box show it: drawn for the
// size it is shown at, in device pixels; at 16 × 16 it is the game's own
// bitmap.
#pragma once

#include <QIcon>

QIcon ProgramIcon();
