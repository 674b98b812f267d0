// The rotation on any bytes taken as a bitmap file image: it refuses or turns, never reads outside
// the image; a turn each way gives back every significant bit of every row; and a bitmap the toolkit
// reads from the bytes turns both ways into the swapped size.
#include "tests/fuzz/FuzzSupport.h"
#include "viewer/TBitmapFile.h"
#include "viewer/bmpRot.h"

#include <QImage>

#include <cstring>

namespace {

// Bits of a row that hold pixels are equal; padding and unused low bits are not significant.
bool SameRows(const QByteArray &A, const QByteArray &B, const TBitmapFileLayout &Layout)
{
    const int64_t bits = int64_t(Layout.Width) * Layout.BitCount;
    for (int64_t row = 0; row < Layout.Height; ++row) {
        const char *a = A.constData() + Layout.PixelOffset + row * Layout.Stride;
        const char *b = B.constData() + Layout.PixelOffset + row * Layout.Stride;
        if (std::memcmp(a, b, size_t(bits / 8)) != 0)
            return false;
        const unsigned mask = 0xff00u >> (bits % 8) & 0xffu;
        if (mask && ((a[bits / 8] ^ b[bits / 8]) & mask))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Exactly the input's bytes, so the sanitizer sees a read past its end.
    const QByteArray image(reinterpret_cast<const char *>(data), qsizetype(size));
    TBitmapFileLayout layout;
    const bool sound = !ReadBitmapFileLayout(image.constData(), size_t(size), layout) && layout.Height > 0;
    try {
        const QByteArray right = bmpRot::RotateFileImageRight(image);
        FuzzSupport::Check(sound, "only a sound image turns");
        const QByteArray back = bmpRot::RotateFileImageLeft(right);
        FuzzSupport::Check(back.size() == layout.PixelOffset + layout.Stride * layout.Height, "the size comes back");
        FuzzSupport::Check(SameRows(image, back, layout), "a turn each way gives back the pixels");
    } catch (const ERotateError &) {
    }

    QImage bitmap;
    if (bitmap.loadFromData(image, "BMP") && qint64(bitmap.width()) * bitmap.height() <= 1 << 16) {
        QImage right = bitmap, left = bitmap;
        try {
            RotateRight(right);
            RotateLeft(left);
            FuzzSupport::Check(right.size() == bitmap.size().transposed() && left.size() == right.size(),
                               "width and height swap");
        } catch (const ERotateError &) {
            FuzzSupport::Check(false, "a bitmap the toolkit reads always turns");
        }
    }
    return 0;
}
