// The pictures of a game's marbles on the main window, a MarbleView each,
// kept in step with the game: laid out anew, placed hole by hole, the pin
// a moving marble shows, and the names a screen reader says.
#pragma once

#include "marble_view.h"

#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class MarbleList;
class PictureWidget;
class QWidget;
struct TZellhopBall;
struct TZellhopPos;

// "Blue marble 3" and "2,-4", as a screen reader says them.
QString MarbleName(const TZellhopBall& marble);
QString HoleName(const TZellhopPos& hole);

class MarblePictures {
  public:
    using Centre = std::function<void(QWidget& picture, const TZellhopPos& hole)>;
    using Clicked = std::function<void(const TZellhopBall& marble)>;

    MarblePictures(QWidget& owner, Centre centre, Clicked clicked);

    // Every marble's picture anew, each on its hole.
    void Show(const MarbleList& marbles);
    void Remove();
    void Place(const TZellhopBall& marble);
    void PlaceAll(const MarbleList& marbles);
    void ShowPin(const TZellhopBall& marble, int picture);
    // The marble's picture, or none.
    PictureWidget* Of(const TZellhopBall& marble) const;
    // The pictures stay where they are, taking no clicks, though their
    // marbles are gone (a won game's last position while its box is up),
    // until Unfreeze.
    void Freeze();
    void Unfreeze() { frozen_.clear(); }

  private:
    QWidget& owner_;
    Centre centre_;
    Clicked clicked_;
    std::map<const TZellhopBall*, std::unique_ptr<MarbleView>> views_;
    std::vector<std::unique_ptr<MarbleView>> frozen_;
};
