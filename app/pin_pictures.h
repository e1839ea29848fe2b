// The pin pictures: read by bare file name from the working directory every
// time they are put on a control, so that a player may swap them while the
// game runs.  Where a file is missing, unreadable or the same as the game's
// own copy, the game shows its own pin, which it draws at whatever size
// the pin is shown (see PictureWidget).
#pragma once

#include <QImage>
#include <QPixmap>
#include <QPointF>
#include <QSize>

// Pin picture 0..5 (the colours) or kWhitePin; a null pixmap for any other
// number.  Pixels of the bottom-left pixel's colour are transparent.
QPixmap LoadPinPicture(int picture);
// The built-in copy of a pin picture, untouched (opaque).
QImage BuiltInPinPicture(int picture);
// Which of the game's own pins LoadPinPicture gave, or -1 for a picture
// from a file of the player's.
int BuiltInPinOf(const QPixmap& shown);

// The picture with every pixel of its bottom-left pixel's colour made
// transparent, as picture controls always drew them.
QImage WithTransparentBackground(const QImage& picture);

// The game's own pin `picture`, a disc of `diameter` device pixels centred
// at `centre`, on a transparent picture of `size` device pixels; the edges
// antialiased.
QImage DrawPin(int picture, QSize size, QPointF centre, double diameter);
