#include "board_widget.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPolygonF>
#include <array>
#include <cmath>

namespace {

// The look is measured on the picture the board was first drawn as,
// 597 × 620 pixels, and scaled to the size shown.
constexpr double kLookWidth = 597;
constexpr double kLookHeight = 620;
constexpr double kDiscRadius = kLookWidth / 2 - 2.5;
constexpr double kLineWidth = 1.6;
constexpr double kDotRadius = 4.5;

// Lattice spacing as fractions of the board: a half-column and a row.
constexpr double kHalfColumn = 0.036025;
constexpr double kRow = 0.06;
// The star's outline lies this many rows beyond its outermost lattice
// lines; small enough that the top and bottom points stay on the board.
constexpr double kStarReach = 4 + 0.15;
// The hexagon ends half-way between its own outer holes and the points'.
constexpr double kHexagonReach = 4.5;

const QColor kGround(255, 255, 255);
const QColor kDisc(185, 185, 185);
const QColor kHexagon(255, 255, 255);
const QColor kLattice(0, 0, 0);
// Blue, red, purple, orange, green, yellow: the colour index is the point.
const std::array<QColor, kColours> kPointColours = {QColor(120, 160, 240), QColor(235, 110, 110),
                                                    QColor(185, 120, 215), QColor(250, 175, 95),
                                                    QColor(120, 205, 125), QColor(245, 230, 110)};

// A lattice point (row, half-column), not necessarily a hole, on the board.
QPointF LatticePlace(double r, double c, QSizeF size) {
    return {size.width() * (0.5 + kHalfColumn * c), size.height() * (0.5 + kRow * r)};
}

struct RowColumn {
    double r, c;
};

// The star is two big triangles.  The one pointing up has its corners at
// the top point (0), the lower right point (2) and the lower left point
// (4); the one pointing down at the bottom (3), upper right (1) and upper
// left (5) points.
std::array<RowColumn, 3> BigTriangle(bool up) {
    const double e = up ? kStarReach : -kStarReach;
    return {RowColumn{-2 * e, 0}, RowColumn{e, 3 * e}, RowColumn{e, -3 * e}};
}

QPolygonF Polygon(const std::array<RowColumn, 3>& corners, QSizeF size) {
    QPolygonF polygon;
    for (const RowColumn& p : corners)
        polygon << LatticePlace(p.r, p.c, size);
    return polygon;
}

// Star point k: the corner of its big triangle cut off where the hexagon
// ends.
QPolygonF PointOfStar(int k, QSizeF size) {
    const std::array<RowColumn, 3> big = BigTriangle(k % 2 == 0);
    const int corner = (k % 2 == 0 ? k : Mod6(k + 3)) / 2;
    const RowColumn tip = big[corner];
    const RowColumn a = big[(corner + 1) % 3], b = big[(corner + 2) % 3];
    // From the tip (2 reaches out) to the far side (1 reach in), cut at
    // the hexagon's edge.
    const double t = (2 * kStarReach - kHexagonReach) / (3 * kStarReach);
    return Polygon({tip, RowColumn{tip.r + (a.r - tip.r) * t, tip.c + (a.c - tip.c) * t},
                    RowColumn{tip.r + (b.r - tip.r) * t, tip.c + (b.c - tip.c) * t}},
                   size);
}

void PaintStar(QPainter& painter, QSizeF size) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(kHexagon);
    for (bool up : {true, false})
        painter.drawPolygon(Polygon(BigTriangle(up), size));
    for (int k = 0; k < kColours; ++k) {
        painter.setBrush(kPointColours[k]);
        painter.drawPolygon(PointOfStar(k, size));
    }
}

void PaintLatticeAndDots(QPainter& painter, const Board& board, QSizeF size) {
    const double scaleX = size.width() / kLookWidth, scaleY = size.height() / kLookHeight;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kLattice, kLineWidth * (scaleX + scaleY) / 2, Qt::SolidLine, Qt::RoundCap));
    for (const auto& hole : board.holes()) {
        const QPointF centre = HoleCentre(*hole, size);
        // Directions 2, 3 and 4 reach every link once.
        for (int d = 2; d <= 4; ++d)
            if (const TZellhopPos* n = hole->neighbour[d])
                painter.drawLine(centre, HoleCentre(*n, size));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(kLattice);
    for (const auto& hole : board.holes())
        painter.drawEllipse(HoleCentre(*hole, size), kDotRadius * scaleX, kDotRadius * scaleY);
}

} // namespace

QPointF HoleCentre(const TZellhopPos& hole, QSizeF board) {
    // Single precision, as ScreenPos multiplies, so that the point never
    // leaves the pixel it names.
    return {static_cast<float>(board.width()) * hole.x,
            static_cast<float>(board.height()) * hole.y};
}

void PaintBoard(QPainter& painter, const Board& board, QSizeF size) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRectF(QPointF(0, 0), size), kGround);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kDisc);
    painter.drawEllipse(QPointF(size.width() / 2, size.height() / 2),
                        kDiscRadius * size.width() / kLookWidth,
                        kDiscRadius * size.height() / kLookHeight);
    PaintStar(painter, size);
    PaintLatticeAndDots(painter, board, size);
    painter.restore();
}

QImage BoardImage(const Board& board, QSize size, qreal devicePixelRatio) {
    // Whole device pixels, enough to cover the board at a fractional ratio.
    const QSize pixels(static_cast<int>(std::ceil(size.width() * devicePixelRatio)),
                       static_cast<int>(std::ceil(size.height() * devicePixelRatio)));
    QImage image(pixels, QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    if (image.isNull())
        return image;
    QPainter painter(&image);
    PaintBoard(painter, board, size);
    return image;
}

BoardWidget::BoardWidget(const Board& board, QWidget* parent) : QWidget(parent), board_(board) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BoardWidget::paintEvent(QPaintEvent* event) {
    const qreal ratio = devicePixelRatioF();
    if (drawn_.isNull() || drawnSize_ != size() || drawn_.devicePixelRatio() != ratio) {
        drawn_ = QPixmap::fromImage(BoardImage(board_, size(), ratio));
        drawnSize_ = size();
    }
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.drawPixmap(0, 0, drawn_);
}
