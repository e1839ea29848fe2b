// The look of the game's own pins: a round head lit from the upper left,
// with a darker rim.  tools/pin_generator draws the pin files with it, the
// game draws its pins with it at whatever size they are shown.  Plain C++.
#pragma once

#include "colours.h"

#include <algorithm>
#include <array>
#include <cmath>

struct PinColour {
    double r, g, b;
};

// Blue, red, purple, orange, green, yellow, and the white pin.
inline constexpr std::array<PinColour, kWhitePin + 1> kPinColours = {
    PinColour{30, 70, 215},  PinColour{210, 25, 25}, PinColour{130, 35, 170},
    PinColour{240, 125, 10}, PinColour{25, 150, 45}, PinColour{235, 205, 20},
    PinColour{245, 245, 245}};

// The rim's width, as a share of the head's radius.
inline constexpr double kPinRimShare = 1.2 / 9.6;

// The head's colour at (dx, dy), a point of the unit disc centred on the
// head (y down).  Channels 0..255, not rounded.
inline PinColour PinHeadColour(PinColour base, double dx, double dy) {
    const double d2 = std::min(dx * dx + dy * dy, 1.0);
    const double dz = std::sqrt(1.0 - d2);
    const double light = std::max(0.0, (-dx - dy + dz * 1.2) / std::sqrt(3.44));
    const double shade = 0.45 + 0.65 * light;
    const double gloss = std::pow(light, 18.0);
    auto channel = [&](double c) { return c * shade + (255 - c * shade) * gloss; };
    return {channel(base.r), channel(base.g), channel(base.b)};
}

inline PinColour PinRimColour(PinColour base) {
    return {base.r * 45 / 100, base.g * 45 / 100, base.b * 45 / 100};
}
