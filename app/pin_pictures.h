// The pin pictures: read by bare file name from the working directory every
// time they are put on a control, so that a player may swap them while the
// game runs.  Where a file is missing or unreadable the game shows its own
// built-in copy of the same picture instead.
#pragma once

#include <QImage>
#include <QPixmap>

// Pin picture 0..5 (the colours) or kWhitePin; a null pixmap for any other
// number.  Pixels of the bottom-left pixel's colour are transparent.
QPixmap LoadPinPicture(int picture);
// The built-in copy of a pin picture, untouched (opaque).
QImage BuiltInPinPicture(int picture);
// The program icon, transparent like the pins.
QPixmap ProgramIcon();

// The picture with every pixel of its bottom-left pixel's colour made
// transparent, as picture controls always drew them.
QImage WithTransparentBackground(const QImage& picture);
