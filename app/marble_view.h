// The picture of one marble on the main window.  The marble itself is a
// core object; this is what the player sees of it and clicks on.
#pragma once

#include <QPointer>

class PictureWidget;
class QWidget;
struct TZellhopBall;

class MarbleView {
  public:
    // Creates the picture hidden, showing the marble's colour.
    MarbleView(const TZellhopBall& marble, QWidget& owner);
    // Hides the picture and lets Qt destroy it once the current event is
    // over: a marble can be taken off the board from inside its own click.
    ~MarbleView();
    MarbleView(const MarbleView&) = delete;
    MarbleView& operator=(const MarbleView&) = delete;

    // Reads pin picture 0..5 or kWhitePin from disk and shows it.
    void ShowPin(int picture);
    PictureWidget& picture() const;

  private:
    QPointer<PictureWidget> picture_;
};
