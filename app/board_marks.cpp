#include "board_marks.h"

#include "board.h"

#include <QPainter>
#include <QPainterPath>
#include <array>

namespace {

// Sizes as parts of the spacing between two holes.
constexpr double kPathWidth = 0.13;
constexpr double kStartRingRadius = 0.30;
constexpr double kStartRingWidth = 0.07;
constexpr double kSelectionRadius = 0.40;
constexpr double kSelectionWidth = 0.10;
constexpr double kHintWidth = 0.11;
constexpr double kHintDotRadius = 0.12;
constexpr double kHintRingRadius = 0.42;
constexpr double kCursorHalfSize = 0.46;
constexpr double kCursorCorner = 0.22;
constexpr double kCursorWidth = 0.10;
constexpr double kEdgeWidth = 0.05; // the dark edge that keeps a mark visible on any ground
constexpr int kLastMoveAlpha = 150; // faint: the board shows through
const QColor kEdgeColour{30, 30, 30};

// The seats' colours, darker than the star points they head for.
constexpr std::array<QRgb, kColours> kSeatColours = {
    qRgb(20, 60, 220), qRgb(210, 30, 30), qRgb(140, 40, 170),
    qRgb(230, 110, 0), qRgb(20, 150, 40), qRgb(200, 170, 0),
};

QPen Pen(const QColor& colour, double width) {
    QPen pen(colour, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

} // namespace

QColor LastMoveColour(int colour) {
    QColor c = QColor::fromRgb(kSeatColours.at(colour));
    c.setAlpha(kLastMoveAlpha);
    return c;
}

BoardMarks::BoardMarks(Layer layer, QWidget* parent) : QWidget(parent), layer_(layer) {
    setObjectName(layer == Layer::kUnderMarbles ? "marksUnderMarbles" : "marksOverMarbles");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void BoardMarks::Place(const QRect& board, double spacing) {
    setGeometry(board);
    spacing_ = spacing;
    update();
}

void BoardMarks::Show(const BoardMarksScene& scene) {
    scene_ = scene;
    update();
}

QPointF BoardMarks::Centre(const TZellhopPos& hole) const {
    const PixelPoint p = ScreenPos(hole, {0, 0, width(), height()});
    // A picture centred on the hole has its middle pixel there.
    return {p.x + 0.5, p.y + 0.5};
}

void BoardMarks::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (layer_ == Layer::kUnderMarbles) {
        DrawLastMoves(painter);
        return;
    }
    DrawHint(painter);
    DrawSelection(painter);
    DrawCursor(painter);
}

void BoardMarks::DrawRing(QPainter& painter, const TZellhopPos& hole, double radius,
                          const QColor& colour, double width) const {
    painter.setPen(Pen(colour, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(Centre(hole), radius, radius);
}

void BoardMarks::DrawLastMoves(QPainter& painter) const {
    for (const BoardMarksScene::Path& move : scene_.lastMoves) {
        if (move.holes.size() < 2)
            continue;
        const QColor colour = LastMoveColour(move.colour);
        QPainterPath path(Centre(*move.holes.front()));
        for (size_t i = 1; i < move.holes.size(); ++i)
            path.lineTo(Centre(*move.holes[i]));
        painter.strokePath(path, Pen(colour, kPathWidth * spacing_));
        DrawRing(painter, *move.holes.front(), kStartRingRadius * spacing_, colour,
                 kStartRingWidth * spacing_);
    }
}

void BoardMarks::DrawSelection(QPainter& painter) const {
    if (!scene_.selected)
        return;
    const double radius = kSelectionRadius * spacing_;
    const double width = kSelectionWidth * spacing_;
    DrawRing(painter, *scene_.selected, radius, kEdgeColour, width + 2 * kEdgeWidth * spacing_);
    DrawRing(painter, *scene_.selected, radius, kSelectionRingColour, width);
}

void BoardMarks::DrawHint(QPainter& painter) const {
    if (scene_.hint.size() < 2)
        return;
    QPainterPath path(Centre(*scene_.hint.front()));
    for (size_t i = 1; i < scene_.hint.size(); ++i)
        path.lineTo(Centre(*scene_.hint[i]));
    const double width = kHintWidth * spacing_;
    painter.strokePath(path, Pen(kEdgeColour, width + 2 * kEdgeWidth * spacing_));
    QPen dashed = Pen(kHintColour, width);
    dashed.setDashPattern({2.0, 1.5});
    painter.strokePath(path, dashed);
    // A dot on every hole it lands on, and a ring around where it ends.
    painter.setPen(Pen(kEdgeColour, kEdgeWidth * spacing_));
    painter.setBrush(kHintColour);
    const double dot = kHintDotRadius * spacing_;
    for (size_t i = 1; i + 1 < scene_.hint.size(); ++i)
        painter.drawEllipse(Centre(*scene_.hint[i]), dot, dot);
    const double radius = kHintRingRadius * spacing_;
    for (const TZellhopPos* end : {scene_.hint.front(), scene_.hint.back()}) {
        DrawRing(painter, *end, radius, kEdgeColour, width + 2 * kEdgeWidth * spacing_);
        DrawRing(painter, *end, radius, kHintColour, width);
    }
}

// Four corners of a square around the hole, plain to see over any marble.
void BoardMarks::DrawCursor(QPainter& painter) const {
    if (!scene_.cursor)
        return;
    const QPointF c = Centre(*scene_.cursor);
    const double h = kCursorHalfSize * spacing_;
    const double l = kCursorCorner * spacing_;
    QPainterPath corners;
    for (const QPointF sign : {QPointF(-1, -1), QPointF(1, -1), QPointF(1, 1), QPointF(-1, 1)}) {
        const QPointF corner(c.x() + sign.x() * h, c.y() + sign.y() * h);
        corners.moveTo(corner.x() - sign.x() * l, corner.y());
        corners.lineTo(corner);
        corners.lineTo(corner.x(), corner.y() - sign.y() * l);
    }
    const double width = kCursorWidth * spacing_;
    painter.strokePath(corners, Pen(kEdgeColour, width + 2 * kEdgeWidth * spacing_));
    painter.strokePath(corners, Pen(kCursorColour, width));
}
