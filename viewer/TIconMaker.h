#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

// The thumbnail of a picture: fitted into 64 by 64 pixels, centred, aspect kept.
namespace TIconMaker {

// The rectangle the picture is drawn into inside the 64 by 64 icon; null for an empty picture.
QRect IconRect(QSize picture);
// The icon of a picture, drawn with smooth scaling on a white 64 by 64 bitmap; null for an empty picture.
QImage MakeIcon(const QImage &picture);
// The same for a picture decoded at a reduced size: placed and sized as its original size says.
QImage MakeIcon(const QImage &picture, QSize original);

} // namespace TIconMaker
