#pragma once

#include <QByteArray>
#include <QImage>

#include <stdexcept>

// A bitmap the rotation cannot turn: compressed, stored top-down, or with a header that disagrees
// with its size.
class ERotateError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Quarter turns of a bitmap, done on its bitmap file image; depth and colour table are kept.
namespace bmpRot {

// The file image of a bitmap turned clockwise / counter-clockwise (1, 4, 8, 16, 24, 32 bits per pixel).
QByteArray RotateFileImageRight(const QByteArray &FileImage);
QByteArray RotateFileImageLeft(const QByteArray &FileImage);

} // namespace bmpRot

// Replace Bitmap by the picture turned a quarter turn clockwise / counter-clockwise.
void RotateRight(QImage &Bitmap);
void RotateLeft(QImage &Bitmap);
