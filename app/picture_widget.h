// A picture on the main window that receives its own clicks: the target
// markers, the marbles and the seat panel's pins.  Its size is its
// picture's; transparent parts show what lies below.
#pragma once

#include <QLabel>

class PictureWidget : public QLabel {
    Q_OBJECT
  public:
    explicit PictureWidget(QWidget* parent = nullptr);
    // Shows the picture and takes its size.
    void SetPicture(const QPixmap& picture);

  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};
