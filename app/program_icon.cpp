#include "program_icon.h"

#include "icon_drawing.h"
#include "pin_pictures.h"

#include <QIconEngine>
#include <QPainter>
#include <algorithm>

namespace {

// The sizes a window manager is offered; any other is drawn when asked for.
constexpr int kOfferedSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

class ProgramIconEngine : public QIconEngine {
  public:
    ProgramIconEngine() : bitmap_(WithTransparentBackground(QImage(":/icons/zellhop.bmp"))) {}

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        if (side <= 0)
            return {};
        return QPixmap::fromImage(side == bitmap_.width() ? bitmap_ : DrawProgramIcon(side));
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1;
        QPixmap drawn = pixmap(rect.size() * ratio, mode, state);
        drawn.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect.topLeft(), drawn);
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int side : kOfferedSizes)
            sizes << QSize(side, side);
        return sizes;
    }
    QIconEngine* clone() const override { return new ProgramIconEngine(*this); }
    QString key() const override { return QStringLiteral("ZellhopProgramIcon"); }

  private:
    QImage bitmap_; // the game's own 16 × 16 icon
};

} // namespace

QIcon ProgramIcon() {
    return QIcon(new ProgramIconEngine);
}
