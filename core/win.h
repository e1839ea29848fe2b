// Win detection: a colour wins when its ten marbles fill the star point
// opposite its start.
#pragma once

#include "board.h"

#include <array>

struct TZellhopPos;
struct TZellhopBall;
class MarbleList;

// Whether the marble stands in its target triangle and its colour has ten
// marbles there.
bool IsHome(const TZellhopBall& marble, const MarbleList& marbles);

// The marble on the tip of a completed target triangle, looking at the
// triangles in order 0..5, or none.  Only the moving colour can complete
// its triangle, and the tip of a completed triangle holds one of the
// winner's marbles, so looking at the six tips is enough.
TZellhopBall* FindWinner(const std::array<TZellhopPos*, kColours>& homeHoles, const MarbleList& marbles);
