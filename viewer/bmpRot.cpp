#include "bmpRot.h"

// Placeholder until the rotation lands: turns through the toolkit.
namespace bmpRot {
QByteArray RotateFileImageRight(const QByteArray &) { throw ERotateError("not built yet"); }
QByteArray RotateFileImageLeft(const QByteArray &) { throw ERotateError("not built yet"); }
} // namespace bmpRot

void RotateRight(QImage &Bitmap) { Bitmap = Bitmap.transformed(QTransform().rotate(90)); }
void RotateLeft(QImage &Bitmap) { Bitmap = Bitmap.transformed(QTransform().rotate(-90)); }
