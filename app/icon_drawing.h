// The program icon drawn at any size: the star of the board with each
// point's ten marbles in their colour and the holes of the centre, or, at
// small sizes where single marbles would be a blur, the star with its
// points in plain colours around a dark centre, as the game's own 16 × 16
// icon shows it.  Shared by the game and the icon files that packaging
// installs; needs Qt GUI only.
#pragma once

#include <QImage>

// The icon, size × size pixels, on a transparent ground.
QImage DrawProgramIcon(int size);
