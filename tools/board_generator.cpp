// Draws the board picture that the game stretches over its board area: a
// grey disc on white carrying the star, each point in its colour, the
// central hexagon white, the triangular lattice in black and a black dot
// on every hole.  The holes come from the game's own Board, so the dots lie
// exactly where the game centres its marbles.  Written as a baseline JPEG.
//
//   board_generator OUTPUT.jpg
#include "board.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <jpeglib.h>
#include <vector>

namespace {

constexpr int kWidth = 597;
constexpr int kHeight = 620;
constexpr int kSupersampling = 4; // per axis, for smooth edges
constexpr int kJpegQuality = 92;

// Lattice spacing on this picture, in pixels: half the distance of two
// holes in a row, and the distance of two rows.
constexpr double kHalfColumn = 0.036025 * kWidth;
constexpr double kRow = 0.06 * kHeight;
constexpr double kCentreX = 0.5 * kWidth;
constexpr double kCentreY = 0.5 * kHeight;

constexpr double kDiscRadius = kCentreX - 2.5;
// How far the star's outline lies beyond its outermost lattice lines, in
// rows; small enough that the top and bottom points stay in the picture.
constexpr double kStarMargin = 0.15;
// The hexagon ends half-way between its own outer holes and the points'.
constexpr double kHexagonReach = 4.5;
constexpr double kLineHalfWidth = 0.8;
constexpr double kDotRadius = 4.5;

struct Rgb {
    double r, g, b;
};

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kGrey{185, 185, 185};
constexpr Rgb kBlack{0, 0, 0};
// Blue, red, purple, orange, green, yellow: the colour index is the point.
constexpr std::array<Rgb, kColours> kPointColours = {Rgb{120, 160, 240}, Rgb{235, 110, 110},
                                                     Rgb{185, 120, 215}, Rgb{250, 175, 95},
                                                     Rgb{120, 205, 125}, Rgb{245, 230, 110}};

// A picture drawn at kSupersampling times the final size.
class Canvas {
  public:
    Canvas() : width_(kWidth * kSupersampling), height_(kHeight * kSupersampling) {
        pixels_.assign(static_cast<size_t>(width_) * height_, kWhite);
    }

    // Calls paint(x, y) for every sample, in picture pixels, and keeps
    // what it answers.
    template <class Paint> void Fill(Paint paint) { FillBox(0, 0, width_, height_, paint); }

    // The same, limited to the samples of a box of picture pixels.
    template <class Paint>
    void FillAround(double x0, double y0, double x1, double y1, Paint paint) {
        FillBox(static_cast<int>(std::floor(x0 * kSupersampling)),
                static_cast<int>(std::floor(y0 * kSupersampling)),
                static_cast<int>(std::ceil(x1 * kSupersampling)) + 1,
                static_cast<int>(std::ceil(y1 * kSupersampling)) + 1, paint);
    }

    // The picture at its final size, averaged over the samples.
    std::vector<unsigned char> Downsampled() const {
        std::vector<unsigned char> rgb;
        rgb.reserve(static_cast<size_t>(kWidth) * kHeight * 3);
        constexpr double kSamples = kSupersampling * kSupersampling;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                Rgb sum{0, 0, 0};
                for (int sy = 0; sy < kSupersampling; ++sy)
                    for (int sx = 0; sx < kSupersampling; ++sx) {
                        const Rgb& p = At(x * kSupersampling + sx, y * kSupersampling + sy);
                        sum = {sum.r + p.r, sum.g + p.g, sum.b + p.b};
                    }
                for (double channel : {sum.r, sum.g, sum.b})
                    rgb.push_back(static_cast<unsigned char>(std::lround(channel / kSamples)));
            }
        return rgb;
    }

  private:
    template <class Paint> void FillBox(int x0, int y0, int x1, int y1, Paint paint) {
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        x1 = std::min(x1, width_);
        y1 = std::min(y1, height_);
        for (int sy = y0; sy < y1; ++sy)
            for (int sx = x0; sx < x1; ++sx) {
                const double x = (sx + 0.5) / kSupersampling;
                const double y = (sy + 0.5) / kSupersampling;
                if (const Rgb* colour = paint(x, y))
                    pixels_[static_cast<size_t>(sy) * width_ + sx] = *colour;
            }
    }
    const Rgb& At(int sx, int sy) const { return pixels_[static_cast<size_t>(sy) * width_ + sx]; }

    int width_;
    int height_;
    std::vector<Rgb> pixels_;
};

// A picture point measured across the lattice's three line families, in
// rows from the centre: u1 grows towards the bottom point, u2 towards the
// upper right point, u3 towards the lower right point.
struct Axes {
    double u1, u2, u3;
};

Axes ToAxes(double x, double y) {
    const double r = (y - kCentreY) / kRow;
    const double c = (x - kCentreX) / kHalfColumn;
    return {r, (c - r) / 2, (c + r) / 2};
}

bool InStar(const Axes& a) {
    const double edge = 4 + kStarMargin;
    const bool upTriangle = a.u1 <= edge && a.u2 <= edge && a.u3 >= -edge;
    const bool downTriangle = a.u1 >= -edge && a.u3 <= edge && a.u2 >= -edge;
    return upTriangle || downTriangle;
}

// The star point a picture point of the star belongs to, or
// kCentralHexagon.
int PointOf(const Axes& a) {
    if (a.u1 < -kHexagonReach)
        return 0;
    if (a.u2 > kHexagonReach)
        return 1;
    if (a.u3 > kHexagonReach)
        return 2;
    if (a.u1 > kHexagonReach)
        return 3;
    if (a.u2 < -kHexagonReach)
        return 4;
    if (a.u3 < -kHexagonReach)
        return 5;
    return kCentralHexagon;
}

struct Point {
    double x, y;
};

Point PicturePos(const TZellhopPos& h) {
    return {h.x * kWidth, h.y * kHeight};
}

double DistanceToSegment(Point p, Point a, Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double t =
        std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

void DrawDiscAndStar(Canvas& canvas) {
    canvas.Fill([](double x, double y) -> const Rgb* {
        const Axes a = ToAxes(x, y);
        if (InStar(a)) {
            const int point = PointOf(a);
            return point == kCentralHexagon ? &kWhite : &kPointColours[point];
        }
        if (std::hypot(x - kCentreX, y - kCentreY) <= kDiscRadius)
            return &kGrey;
        return nullptr;
    });
}

void DrawLattice(Canvas& canvas, const Board& board) {
    // Directions 2, 3 and 4 reach every link once.
    for (const auto& hole : board.holes())
        for (int d = 2; d <= 4; ++d) {
            const TZellhopPos* n = hole->neighbour[d];
            if (!n)
                continue;
            const Point a = PicturePos(*hole), b = PicturePos(*n);
            canvas.FillAround(
                std::min(a.x, b.x) - 2, std::min(a.y, b.y) - 2, std::max(a.x, b.x) + 2,
                std::max(a.y, b.y) + 2, [&](double x, double y) -> const Rgb* {
                    return DistanceToSegment({x, y}, a, b) <= kLineHalfWidth ? &kBlack : nullptr;
                });
        }
}

void DrawHoles(Canvas& canvas, const Board& board) {
    for (const auto& hole : board.holes()) {
        const Point c = PicturePos(*hole);
        canvas.FillAround(c.x - kDotRadius, c.y - kDotRadius, c.x + kDotRadius, c.y + kDotRadius,
                          [&](double x, double y) -> const Rgb* {
                              return std::hypot(x - c.x, y - c.y) <= kDotRadius ? &kBlack : nullptr;
                          });
    }
}

bool WriteJpeg(const char* fileName, const std::vector<unsigned char>& rgb) {
    FILE* out = std::fopen(fileName, "wb");
    if (!out)
        return false;
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info); // baseline, Huffman-coded, not progressive
    jpeg_set_quality(&info, kJpegQuality, TRUE);
    for (int i = 0; i < info.num_components; ++i) // full colour resolution: crisp point edges
        info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto* row =
            const_cast<JSAMPLE*>(&rgb[static_cast<size_t>(info.next_scanline) * kWidth * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(out) == 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.jpg\n", argv[0]);
        return 2;
    }
    const Board board;
    Canvas canvas;
    DrawDiscAndStar(canvas);
    DrawLattice(canvas, board);
    DrawHoles(canvas, board);
    if (!WriteJpeg(argv[1], canvas.Downsampled())) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
