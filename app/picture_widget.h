// A pin on the main window that receives its own clicks: the target
// markers, the marbles and the seat panel's pins.  The pins of one area
// share a diameter, which grows and shrinks with the board; the game's own
// pins are drawn at that diameter in device pixels, a picture from a file
// is scaled smoothly by the same share.  Only the visible part takes
// clicks; transparent parts show what lies below.
#pragma once

#include "board_layout.h"

#include <QImage>
#include <QLabel>
#include <QPointF>
#include <optional>

class PictureWidget : public QLabel {
    Q_OBJECT
  public:
    // Takes the pin diameter of its parent (see SetPinDiameter).
    explicit PictureWidget(QWidget* parent = nullptr);
    // Shows the picture and takes the size it is shown at.
    void SetPicture(const QPixmap& picture);

    double PinDiameter() const { return diameter_; }
    // Moves the widget's corner to `corner` and the middle of its picture
    // to `centre`, both in the parent's coordinates; the centre must lie
    // in the middle pixel of the widget (or the one right below it).
    void PlaceCentre(QPoint corner, QPointF centre);
    // The middle of the picture, in the widget's coordinates.
    QPointF PictureCentre() const;
    // Whether a point of the widget lies on the visible picture.
    bool OnPicture(QPointF point) const;

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    friend void SetPinDiameter(QWidget& area, double diameter);
    void SetDiameter(double diameter);
    // The widget's size for the picture at the current diameter.
    QSize ShownSize() const;
    // Resizes to ShownSize; a placed centre stays only if the size does.
    void TakeShownSize();
    // The picture as drawn in device pixels, made again when anything it
    // depends on changed.
    const QImage& Drawn() const;

    double diameter_ = kDesignPinDiameter; // where the area says nothing
    std::optional<QPointF> centre_;
    mutable QImage drawn_;
    struct DrawnFor {
        qint64 picture = 0;
        QSize size;
        QPointF centre;
        double diameter = 0;
        qreal ratio = 0;
        bool operator==(const DrawnFor&) const = default;
    };
    mutable DrawnFor drawnFor_;
};

// Sets the diameter of every pin on `area` and of those created on it
// later.
void SetPinDiameter(QWidget& area, double diameter);
