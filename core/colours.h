// The per-colour tables: status words and pin pictures, indexed by colour.
#pragma once

#include <string_view>

inline constexpr int kWhitePin = 6; // the neutral pin: targets, a moving marble, the seat to play

// "BLUE", "RED", ... as the status bar and the win message show them.
std::string_view ColourWord(int colour);
// "bluepin.bmp" ... "yellowpin.bmp", and "whitepin.bmp" for kWhitePin.
std::string_view PinPictureFile(int picture);
// The colour whose word is `word`, or -1.
int ColourFromWord(std::string_view word);
