#include "icon_drawing.h"

#include "board.h"
#include "pin_look.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QRadialGradient>
#include <cmath>

namespace {

// From this size on, a marble is large enough to be seen as one.
constexpr int kMarbleDetailSize = 128;

constexpr QRgb kCentreColour = 0xff3c3c3c;
constexpr QRgb kBoardColour = 0xfff4f4f4;
constexpr QRgb kOutlineColour = 0xff202020;
constexpr QRgb kHoleColour = 0xff505050;
// Under its marbles a point is only tinted (mixed this far towards white),
// so that they stand out.
constexpr double kPointTint = 0.7;

const double kRowHeight = std::sqrt(3.0) / 2; // rows are this many hole spacings apart
// The star's edges lie this many hole spacings outside the outer holes.
constexpr double kStarMargin = 0.62;
constexpr double kMarbleRadius = 0.46; // in hole spacings
constexpr double kHoleRadius = 0.13;
constexpr double kOutlineWidth = 1.0 / 64; // of the icon's size
constexpr double kBorder = 0.02;           // free edge around the star, of the size
constexpr int kTipRow = 8;                 // rows of the tips, above and below the centre
constexpr int kBaseRow = 4;                // row of the far side of each big triangle
constexpr int kBaseHalfColumns = 12;

// Where lattice points land on the icon: centred, `spacing` pixels apart.
struct Layout {
    double centre;
    double spacing;
    QPointF Place(double r, double c) const {
        return {centre + c * spacing / 2, centre + r * spacing * kRowHeight};
    }
};

Layout LayoutFor(int size) {
    // The tips reach furthest: kTipRow rows, then the margin beyond the tip
    // hole, which is twice the edge margin on a 60-degree corner.
    const double reach = kTipRow * kRowHeight + 2 * kStarMargin;
    const double half = size / 2.0;
    return {half, half * (1 - 2 * kBorder) / reach};
}

// One of the two big triangles of the star around its outer holes: `up`
// has its tip at the top.  The triangles are centred on the middle hole, so
// widening one is a scaling about it.
QPolygonF BigTriangle(const Layout& at, bool up) {
    const double inradius = (kBaseRow * kRowHeight) * at.spacing;
    const double scale = (inradius + kStarMargin * at.spacing) / inradius;
    const int sign = up ? 1 : -1;
    QPolygonF triangle;
    for (const auto& [r, c] : {std::pair{-kTipRow, 0}, std::pair{kBaseRow, kBaseHalfColumns},
                               std::pair{kBaseRow, -kBaseHalfColumns}})
        triangle << at.Place(sign * r * scale, c * scale);
    return triangle;
}

QPainterPath PathOf(const QPolygonF& polygon) {
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();
    return path;
}

// The 60-degree sector around star point k (0 at the top, then clockwise).
QPainterPath Sector(const Layout& at, int k) {
    constexpr double kPi = 3.14159265358979323846;
    const double middle = -kPi / 2 + k * kPi / 3;
    const double far = at.centre * 4;
    const QPointF centre(at.centre, at.centre);
    auto ray = [&](double angle) {
        return centre + QPointF(far * std::cos(angle), far * std::sin(angle));
    };
    return PathOf(QPolygonF() << centre << ray(middle - kPi / 6) << ray(middle + kPi / 6));
}

// The pins' colours.
QColor MarbleColour(int colour) {
    const PinColour c = kPinColours[colour];
    return QColor(static_cast<int>(c.r), static_cast<int>(c.g), static_cast<int>(c.b));
}

QColor Mix(QColor a, QColor b, double t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// A marble lit from the upper left, like the pins.
void DrawMarble(QPainter& painter, QPointF centre, double radius, QColor colour) {
    constexpr double kHighlightOffset = 0.38;
    const QPointF highlight = centre - QPointF(radius, radius) * kHighlightOffset;
    QRadialGradient shading(centre, radius, highlight);
    shading.setColorAt(0.0, Mix(colour, Qt::white, 0.75));
    shading.setColorAt(0.3, colour);
    shading.setColorAt(1.0, Mix(colour, Qt::black, 0.5));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shading);
    painter.drawEllipse(centre, radius, radius);
}

void DrawMarblesAndHoles(QPainter& painter, const Layout& at) {
    const Board board;
    for (const auto& hole : board.holes()) {
        const QPointF centre = at.Place(hole->at.r, hole->at.c);
        if (hole->triangle == kCentralHexagon) {
            const double radius = kHoleRadius * at.spacing;
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(kHoleColour));
            painter.drawEllipse(centre, radius, radius);
        } else {
            DrawMarble(painter, centre, kMarbleRadius * at.spacing, MarbleColour(hole->triangle));
        }
    }
}

} // namespace

QImage DrawProgramIcon(int size) {
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);

    const Layout at = LayoutFor(size);
    const QPainterPath up = PathOf(BigTriangle(at, true));
    const QPainterPath down = PathOf(BigTriangle(at, false));
    const QPainterPath star = up.united(down).simplified();
    const QPainterPath centre = up.intersected(down);
    const bool detailed = size >= kMarbleDetailSize;

    painter.fillPath(star, QColor(detailed ? kBoardColour : kCentreColour));
    for (int k = 0; k < kColours; ++k) {
        const QColor colour = MarbleColour(k);
        painter.fillPath(star.subtracted(centre).intersected(Sector(at, k)),
                         detailed ? Mix(colour, Qt::white, kPointTint) : colour);
    }
    if (detailed) {
        DrawMarblesAndHoles(painter, at);
        // Small stars need no edge: their coloured points make the shape.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(kOutlineColour), size * kOutlineWidth, Qt::SolidLine,
                            Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(star);
    }
    painter.end();
    return icon;
}
