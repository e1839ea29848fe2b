// The board picture: a baseline JPEG built into the program, decoded with
// libjpeg.
#pragma once

#include <QByteArray>
#include <QImage>

// Decodes a JPEG into an RGB picture.  A file libjpeg cannot read throws
// std::runtime_error with libjpeg's own message; the process goes on.
QImage DecodeJpeg(const QByteArray& bytes);

// The JPEG built into the program.
QByteArray BoardPictureBytes();
// The board picture, decoded once and kept.
const QImage& BoardPicture();
