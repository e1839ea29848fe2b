// The star of 121 holes: the hole object, the six directions, the triangle
// ids, and the small geometric helpers that the rules and the computer use.
#pragma once

#include <array>
#include <memory>
#include <vector>

struct TZellhopBall;

inline constexpr int kDirections = 6;
inline constexpr int kColours = 6;
inline constexpr int kHoleCount = 121;
inline constexpr int kCentralHexagon = 6; // triangle id of the 61 central holes

// Row and half-column of a hole on the lattice: (0, 0) is the centre, rows
// grow downwards, and a half-column step is half the spacing within a row.
struct LatticePoint {
    int r = 0;
    int c = 0;
    friend bool operator==(const LatticePoint&, const LatticePoint&) = default;
};

// One hole of the board.  Holes are owned by Board and never move.
struct TZellhopPos {
    TZellhopBall* ball = nullptr;                      // marble in the hole, if any
    std::array<TZellhopPos*, kDirections> neighbour{}; // none beyond the edge
    int cursor = 0;                                    // position of the running target enumeration
    float x = 0.0f;                                    // fraction of the board picture's width
    float y = 0.0f;                                    // fraction of the board picture's height
    int triangle = 0;                                  // star point 0..5, or kCentralHexagon
    LatticePoint at;                                   // where the hole lies on the lattice
    int index = 0;                                     // position in Board::holes
};

// Modulo 6 that stays in 0..5 for negative arguments too.
int Mod6(int value);
// The opposite direction, triangle or colour.
int Opposite(int value);

// Moves (x, y) one hole in direction d.  The sums are formed in extended
// precision and stored back as singles, as the board was always built: the
// computer's tie-breaks depend on these last bits.
void StepCoords(float& x, float& y, int d);

// The hole on the far side of `over`, seen from `from`; none when the two
// are not neighbours or the far side is off the board.
TZellhopPos* JumpLanding(const TZellhopPos& over, const TZellhopPos& from);
bool IsNeighbour(const TZellhopPos& h, const TZellhopPos& o);
// Distance in board fractions (not pixels): dx and dy rounded to single, the
// root taken in extended precision.
double DistanceTo(const TZellhopPos& a, const TZellhopPos& b);

struct PictureRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
struct PixelPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};
// Pixel centre of a hole on the board picture laid out at `board`.
PixelPoint ScreenPos(const TZellhopPos& h, const PictureRect& board);
// Top-left corner that centres a w × v picture on the hole.
PixelPoint CentredCorner(const TZellhopPos& h, const PictureRect& board, int w, int v);

// The board: all holes, linked, and the tip of every star point.
class Board {
  public:
    Board(); // BuildBoard
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    const std::vector<std::unique_ptr<TZellhopPos>>& holes() const { return holes_; }
    TZellhopPos& hole(int index) const { return *holes_[index]; }
    // Tip of triangle k: where colour k starts from, and where colour
    // Opposite(k) heads for.
    TZellhopPos* homeHole(int k) const { return homeHoles_[k]; }
    const std::array<TZellhopPos*, kColours>& homeHoles() const { return homeHoles_; }

    // The hole at a lattice point, or none.
    TZellhopPos* at(LatticePoint p) const;

  private:
    TZellhopPos* newHole(TZellhopPos* from, int direction, int triangle);
    void growWedge(int wedge, TZellhopPos* spine[]);

    std::vector<std::unique_ptr<TZellhopPos>> holes_;
    std::array<TZellhopPos*, kColours> homeHoles_{};
};

// The lattice step of each direction.
LatticePoint Step(LatticePoint p, int d);
// Whether a lattice point is one of the 121 holes.
bool IsOnBoard(LatticePoint p);
// The triangle id a lattice point belongs to.
int TriangleOf(LatticePoint p);
