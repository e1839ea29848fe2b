// Marks drawn over the board to help a player read it: the last move of
// every seat (a faint ring on the hole it left and a line along its path),
// the ring around the selected marble, the path of a hint and the keyboard
// cursor.  Two of these lie over the board picture: one under the marbles
// for the last moves, one over them for what must be seen above a marble.
// They take no clicks: the marbles and pins below them do.
#pragma once

#include <QColor>
#include <QWidget>
#include <vector>

struct TZellhopPos;

struct BoardMarksScene {
    struct Path {
        std::vector<const TZellhopPos*> holes; // where the marble started first
        int colour = 0;
    };
    std::vector<Path> lastMoves;
    const TZellhopPos* selected = nullptr;
    std::vector<const TZellhopPos*> hint; // the marble's hole first
    const TZellhopPos* cursor = nullptr;
};

// The colours of the marks, for whoever looks for them on the screen.
QColor LastMoveColour(int colour);
inline const QColor kSelectionRingColour{255, 200, 0};
inline const QColor kHintColour{0, 200, 230};
inline const QColor kCursorColour{230, 0, 0};

class BoardMarks : public QWidget {
    Q_OBJECT
  public:
    enum class Layer {
        kUnderMarbles, // the last moves
        kOverMarbles,  // the selection ring, the hint, the cursor
    };
    BoardMarks(Layer layer, QWidget* parent);

    // Lies over the board picture at `board` (the parent's coordinates);
    // `spacing` is the distance in pixels between two neighbouring holes,
    // from which every mark takes its size.
    void Place(const QRect& board, double spacing);
    void Show(const BoardMarksScene& scene);
    // The centre of a hole in this widget, as the marbles are centred.
    QPointF Centre(const TZellhopPos& hole) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void DrawLastMoves(QPainter& painter) const;
    void DrawSelection(QPainter& painter) const;
    void DrawHint(QPainter& painter) const;
    void DrawCursor(QPainter& painter) const;
    void DrawRing(QPainter& painter, const TZellhopPos& hole, double radius, const QColor& colour,
                  double width) const;

    Layer layer_;
    BoardMarksScene scene_;
    double spacing_ = 0;
};
