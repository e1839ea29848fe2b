// The board as the main window shows it: a grey disc on white carrying the
// star, each point in its colour, the central hexagon white, the lattice in
// black and a black dot on every hole.  It is painted from the core's Board
// at the size and device pixel ratio it is shown at, so the dots lie where
// the marbles are centred at any size.
#pragma once

#include "board.h"

#include <QImage>
#include <QPixmap>
#include <QPointF>
#include <QWidget>

class QPainter;

// The centre of a hole on a board of this size, in its own pixels: the
// point of the hole's fractions, which lies inside the pixel ScreenPos
// names.
QPointF HoleCentre(const TZellhopPos& hole, QSizeF board);

// Paints the board into (0, 0, size), antialiased.
void PaintBoard(QPainter& painter, const Board& board, QSizeF size);
// The board drawn at `size` for a device pixel ratio.
QImage BoardImage(const Board& board, QSize size, qreal devicePixelRatio);

class BoardWidget : public QWidget {
    Q_OBJECT
  public:
    BoardWidget(const Board& board, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const Board& board_;
    // The board as last drawn: drawn again only when the size or the ratio
    // changes.
    QPixmap drawn_;
    QSize drawnSize_;
};
