// Draws the seven pin pictures ("bluepin.bmp" ... "whitepin.bmp") and the
// program icon as 24-bit BMP files.  Their background is one key colour,
// which the game draws transparent: it takes the colour of the bottom-left
// pixel.  The pictures are committed in assets/; run this only to change
// them.
//
//   pin_generator OUTPUT_DIRECTORY
#include "colours.h"
#include "pin_look.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Rgb {
    int r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

constexpr Rgb kKey{255, 0, 255}; // the transparent background
constexpr int kPinSize = 21;     // odd, so that the middle pixel sits on the hole
constexpr double kHeadRadius = 9.6;
constexpr int kIconSize = 16;

constexpr Rgb kIconCentre{60, 60, 60};

class Bitmap {
  public:
    Bitmap(int width, int height) : width_(width), height_(height), pixels_(width * height, kKey) {}
    void Set(int x, int y, Rgb colour) {
        // No drawn pixel may turn transparent by chance.
        if (colour == kKey)
            colour.g = 1;
        pixels_[y * width_ + x] = colour;
    }
    bool Write(const std::string& fileName) const;

  private:
    int width_;
    int height_;
    std::vector<Rgb> pixels_;
};

void Put16(std::vector<unsigned char>& out, unsigned v) {
    out.push_back(v & 0xff);
    out.push_back((v >> 8) & 0xff);
}
void Put32(std::vector<unsigned char>& out, uint32_t v) {
    Put16(out, v & 0xffff);
    Put16(out, v >> 16);
}

bool Bitmap::Write(const std::string& fileName) const {
    constexpr uint32_t kHeaders = 14 + 40;
    const uint32_t rowSize = (width_ * 3 + 3) / 4 * 4;
    const uint32_t imageSize = rowSize * height_;
    std::vector<unsigned char> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, kHeaders + imageSize);
    Put32(out, 0);
    Put32(out, kHeaders);
    Put32(out, 40); // BITMAPINFOHEADER
    Put32(out, width_);
    Put32(out, height_); // positive: rows stored bottom-up
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0); // uncompressed
    Put32(out, imageSize);
    Put32(out, 2835); // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = height_ - 1; y >= 0; --y) {
        for (int x = 0; x < width_; ++x) {
            const Rgb& p = pixels_[y * width_ + x];
            out.insert(out.end(), {static_cast<unsigned char>(p.b), static_cast<unsigned char>(p.g),
                                   static_cast<unsigned char>(p.r)});
        }
        out.resize(out.size() + rowSize - width_ * 3, 0);
    }
    FILE* file = std::fopen(fileName.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && written;
}

int Clamp(double v) {
    return std::clamp(static_cast<int>(std::lround(v)), 0, 255);
}

Rgb Rounded(PinColour c) {
    return {Clamp(c.r), Clamp(c.g), Clamp(c.b)};
}

Rgb Truncated(PinColour c) {
    return {static_cast<int>(c.r), static_cast<int>(c.g), static_cast<int>(c.b)};
}

// The game's pin look, one sample per pixel.  Hard edges: blending into the
// key colour would leave a coloured fringe.
Bitmap DrawPin(PinColour base) {
    Bitmap pin(kPinSize, kPinSize);
    const double centre = (kPinSize - 1) / 2.0;
    for (int y = 0; y < kPinSize; ++y)
        for (int x = 0; x < kPinSize; ++x) {
            const double dx = (x - centre) / kHeadRadius, dy = (y - centre) / kHeadRadius;
            const double d2 = dx * dx + dy * dy;
            if (d2 > 1.0)
                continue;
            if (std::sqrt(d2) > 1 - kPinRimShare)
                pin.Set(x, y, Truncated(PinRimColour(base)));
            else
                pin.Set(x, y, Rounded(PinHeadColour(base, dx, dy)));
        }
    return pin;
}

// The program icon: the star with its six points in their colours around
// a dark centre, which keeps the star whole on a light background.
Bitmap DrawIcon() {
    Bitmap icon(kIconSize, kIconSize);
    const double c = (kIconSize - 1) / 2.0;
    const double rowHeight = kIconSize / 8.6; // eight rows tip to tip, and a margin
    const double halfColumn = rowHeight / std::sqrt(3.0);
    for (int y = 0; y < kIconSize; ++y)
        for (int x = 0; x < kIconSize; ++x) {
            const double r = (y - c) / rowHeight, col = (x - c) / halfColumn;
            const double u1 = r, u2 = (col - r) / 2, u3 = (col + r) / 2;
            const bool up = u1 <= 2 && u2 <= 2 && u3 >= -2;
            const bool down = u1 >= -2 && u3 <= 2 && u2 >= -2;
            if (!up && !down)
                continue;
            Rgb colour = kIconCentre;
            if (u1 < -2)
                colour = Truncated(kPinColours[0]);
            else if (u2 > 2)
                colour = Truncated(kPinColours[1]);
            else if (u3 > 2)
                colour = Truncated(kPinColours[2]);
            else if (u1 > 2)
                colour = Truncated(kPinColours[3]);
            else if (u2 < -2)
                colour = Truncated(kPinColours[4]);
            else if (u3 < -2)
                colour = Truncated(kPinColours[5]);
            icon.Set(x, y, colour);
        }
    return icon;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    for (int picture = 0; picture <= kWhitePin; ++picture) {
        const std::string file = dir + std::string(PinPictureFile(picture));
        if (!DrawPin(kPinColours[picture]).Write(file)) {
            std::perror(file.c_str());
            return 1;
        }
    }
    if (!DrawIcon().Write(dir + "zellhop.bmp")) {
        std::perror("zellhop.bmp");
        return 1;
    }
    return 0;
}
