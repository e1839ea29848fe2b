#include "board.h"

#include <cmath>
#include <cstdlib>

namespace {

// Changes of x and y per direction, held in extended precision like the
// constants the board was first built with.
constexpr long double kHalfSpacing = 0.036025L;
constexpr long double kRowSpacing = 0.06L;
constexpr long double kSpacing = 0.07205L;

constexpr std::array<long double, kDirections> kDx = {-kHalfSpacing, kHalfSpacing,  kSpacing,
                                                      kHalfSpacing,  -kHalfSpacing, -kSpacing};
constexpr std::array<long double, kDirections> kDy = {-kRowSpacing, -kRowSpacing, 0.0L,
                                                      kRowSpacing,  kRowSpacing,  0.0L};
constexpr std::array<LatticePoint, kDirections> kLatticeStep = {
    LatticePoint{-1, -1}, LatticePoint{-1, 1}, LatticePoint{0, 2},
    LatticePoint{1, 1},   LatticePoint{1, -1}, LatticePoint{0, -2}};

constexpr int kRows = 8;         // rows run from -kRows to kRows
constexpr int kSpineLength = 4;
constexpr int kRowLength = 4;

int RowHalfWidth(int r) {
    const int a = std::abs(r);
    return a <= 4 ? 8 + a : 8 - a;
}

} // namespace

int Mod6(int value) {
    const int m = value % kDirections;
    return m < 0 ? m + kDirections : m;
}

int Opposite(int value) {
    return Mod6(value + 3);
}

void StepCoords(float& x, float& y, int d) {
    if (d < 0 || d >= kDirections)
        return;
    x = static_cast<float>(static_cast<long double>(x) + kDx[d]);
    y = static_cast<float>(static_cast<long double>(y) + kDy[d]);
}

TZellhopPos* JumpLanding(const TZellhopPos& over, const TZellhopPos& from) {
    for (int i = 0; i < kDirections; ++i)
        if (over.neighbour[i] == &from)
            return over.neighbour[Opposite(i)];
    return nullptr;
}

bool IsNeighbour(const TZellhopPos& h, const TZellhopPos& o) {
    for (const TZellhopPos* n : h.neighbour)
        if (n == &o)
            return true;
    return false;
}

double DistanceTo(const TZellhopPos& a, const TZellhopPos& b) {
    const float dy = static_cast<float>(static_cast<long double>(a.y) - b.y);
    const float dx = static_cast<float>(static_cast<long double>(a.x) - b.x);
    const long double sum = static_cast<long double>(dy) * dy + static_cast<long double>(dx) * dx;
    return static_cast<double>(std::sqrt(sum));
}

PixelPoint ScreenPos(const TZellhopPos& h, const PictureRect& board) {
    // Truncation towards zero, as the pictures were always placed.
    return {board.left + static_cast<int>(board.width * h.x),
            board.top + static_cast<int>(board.height * h.y)};
}

PixelPoint CentredCorner(const TZellhopPos& h, const PictureRect& board, int w, int v) {
    const PixelPoint centre = ScreenPos(h, board);
    return {centre.x - w / 2, centre.y - v / 2};
}

LatticePoint Step(LatticePoint p, int d) {
    const LatticePoint s = kLatticeStep[Mod6(d)];
    return {p.r + s.r, p.c + s.c};
}

bool IsOnBoard(LatticePoint p) {
    if (p.r < -kRows || p.r > kRows)
        return false;
    if (Mod6(p.r - p.c) % 2 != 0) // c has the parity of r
        return false;
    return std::abs(p.c) <= RowHalfWidth(p.r);
}

int TriangleOf(LatticePoint p) {
    const int a = std::abs(p.r);
    if (p.r <= -5)
        return 0;
    if (p.r >= 5)
        return 3;
    if (p.r < 0 && p.c > 8 - a)
        return 1;
    if (p.r > 0 && p.c > 8 - a)
        return 2;
    if (p.r > 0 && p.c < -(8 - a))
        return 4;
    if (p.r < 0 && p.c < -(8 - a))
        return 5;
    return kCentralHexagon;
}

Board::Board() {
    holes_.reserve(kHoleCount);
    auto centre = std::make_unique<TZellhopPos>();
    centre->x = 0.5f;
    centre->y = 0.5f;
    centre->triangle = kCentralHexagon;
    holes_.push_back(std::move(centre));

    for (int wedge = 0; wedge < kDirections; ++wedge) {
        TZellhopPos* spine[kSpineLength];
        growWedge(wedge, spine);
    }

    // Link every hole with every lattice neighbour; the links come out
    // symmetric because the lattice steps of d and Opposite(d) cancel.
    for (auto& h : holes_)
        for (int d = 0; d < kDirections; ++d)
            h->neighbour[d] = at(Step(h->at, d));
}

// A wedge is a spine of four holes from the centre along direction
// wedge + 1 and, from each spine hole, a row of four holes along direction
// wedge.  Every hole takes its coordinates from the hole it grows from, so
// they accumulate along this path exactly as they always did.
void Board::growWedge(int wedge, TZellhopPos* spine[]) {
    TZellhopPos* spineHole = holes_.front().get();
    for (int k = 0; k < kSpineLength; ++k) {
        spineHole = newHole(spineHole, Mod6(wedge + 1), kCentralHexagon);
        spine[k] = spineHole;
        TZellhopPos* rowHole = spineHole;
        for (int m = 0; m < kRowLength; ++m) {
            // In the k-th row the k + 1 holes farthest from the spine lie in
            // the star point.
            const bool inPoint = m >= kRowLength - 1 - k;
            rowHole = newHole(rowHole, wedge, inPoint ? wedge : kCentralHexagon);
        }
        if (k == kSpineLength - 1)
            homeHoles_[wedge] = rowHole;
    }
}

TZellhopPos* Board::newHole(TZellhopPos* from, int direction, int triangle) {
    auto h = std::make_unique<TZellhopPos>();
    h->x = from->x;
    h->y = from->y;
    StepCoords(h->x, h->y, direction);
    h->at = Step(from->at, direction);
    h->triangle = triangle;
    h->index = static_cast<int>(holes_.size());
    holes_.push_back(std::move(h));
    return holes_.back().get();
}

TZellhopPos* Board::at(LatticePoint p) const {
    if (!IsOnBoard(p))
        return nullptr;
    // Few holes, looked up only while building and by tools: a scan is enough.
    for (const auto& h : holes_)
        if (h->at == p)
            return h.get();
    return nullptr;
}
