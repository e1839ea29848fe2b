#include "colours.h"

#include "board.h"

#include <array>

namespace {
constexpr std::array<std::string_view, kColours> kWords = {"BLUE",   "RED",   "PURPLE",
                                                           "ORANGE", "GREEN", "YELLOW"};
constexpr std::array<std::string_view, kWhitePin + 1> kPins = {
    "bluepin.bmp",  "redpin.bmp",    "purplepin.bmp", "orangepin.bmp",
    "greenpin.bmp", "yellowpin.bmp", "whitepin.bmp"};
} // namespace

std::string_view ColourWord(int colour) {
    return colour >= 0 && colour < static_cast<int>(kWords.size()) ? kWords[colour] : "";
}

std::string_view PinPictureFile(int picture) {
    return picture >= 0 && picture < static_cast<int>(kPins.size()) ? kPins[picture] : "";
}

int ColourFromWord(std::string_view word) {
    for (int i = 0; i < static_cast<int>(kWords.size()); ++i)
        if (kWords[i] == word)
            return i;
    return -1;
}
