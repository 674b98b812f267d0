#include "viewer/bmpRot.h"

#include "viewer/TBitmapFile.h"
#include "viewer/TReaderLimit.h"

#include <QBuffer>
#include <QImageReader>

#include <cstring>

namespace {

enum class TTurn { Right, Left };

// Offsets into the buffers are 64-bit numbers rather than pointers: the walks step one row beyond
// either end between two source rows.
// B is a constant of each instance, so the copy of a pixel is a single move rather than a call.
template <int64_t B>
void TurnWholeBytes(const uchar *src, uchar *dst, int64_t W, int64_t H, int64_t S, int64_t D, TTurn turn)
{
    const int64_t b = B * 8;
    const int64_t P = S - W * b / 8;
    const int64_t U = H * b / 8;
    const int64_t step = turn == TTurn::Right ? -D : D;
    const int64_t nextColumn = turn == TTurn::Right ? D * W + B : -(D * W + B);
    int64_t s = 0;
    int64_t d = turn == TTurn::Right ? (W - 1) * D : U - B;
    for (int64_t i = 0; i < H; ++i) {
        for (int64_t x = 0; x < W; ++x) {
            std::memcpy(dst + d, src + s, B);
            s += B;
            d += step;
        }
        s += P;
        d += nextColumn;
    }
}

void TurnPackedPixels(const uchar *src, uchar *dst, int64_t W, int64_t H, int b, int64_t S, int64_t D, TTurn turn)
{
    const int g = 8 / b;
    const int64_t F = W / g;
    const int R = int(W % g);
    const uchar top = uchar(((1 << b) - 1) << (8 - b));
    const int64_t step = turn == TTurn::Right ? -D : D;
    // Clockwise the rows are read in storage order; counter-clockwise from the last stored row back.
    int64_t s = turn == TTurn::Right ? 0 : (H - 1) * S;
    const int64_t nextRow = turn == TTurn::Right ? 0 : -2 * S;
    const int64_t P = S - F - (R > 0 ? 1 : 0);
    int64_t column = turn == TTurn::Right ? (W - 1) * D : 0;
    int shift = 8 - b; // destination bit position, counted from the byte's bottom
    for (int64_t i = 0; i < H; ++i) {
        int64_t d = column;
        auto put = [&](uchar value) {
            const uchar mask = uchar(((1 << b) - 1) << shift);
            dst[d] = uchar((dst[d] & ~mask) | (value << shift));
            d += step;
        };
        for (int64_t f = 0; f < F; ++f, ++s) {
            uchar mask = top;
            for (int k = g - 1; k >= 0; --k, mask = uchar(mask >> b))
                put(uchar((src[s] & mask) >> (k * b)));
        }
        if (R > 0) {
            uchar mask = top;
            for (int k = g - 1; k >= g - R; --k, mask = uchar(mask >> b))
                put(uchar((src[s] & mask) >> (k * b)));
            ++s;
        }
        s += P + nextRow;
        if (shift == 0) {
            shift = 8 - b;
            ++column;
        } else {
            shift -= b;
        }
    }
}

QByteArray Turn(const QByteArray &FileImage, TTurn turn)
{
    TBitmapFileLayout layout;
    if (const char *error = ReadBitmapFileLayout(FileImage.constData(), size_t(FileImage.size()), layout))
        throw ERotateError(error);
    if (layout.Height < 0)
        throw ERotateError("bitmap stored top-down");
    const int64_t W = layout.Width, H = layout.Height, b = layout.BitCount;
    const int64_t S = layout.Stride;
    const int64_t D = BitmapStride(H, b);
    // A narrow 1-bit picture grows up to 32 times when turned, so the result has its own cap.
    if (W > MaxPixelBytes / D)
        throw ERotateError("bitmap too large to turn");

    QByteArray turned(qsizetype(layout.PixelOffset + D * W), '\0');
    std::memcpy(turned.data(), FileImage.constData(), layout.PixelOffset);
    const auto *src = reinterpret_cast<const uchar *>(FileImage.constData()) + layout.PixelOffset;
    auto *dst = reinterpret_cast<uchar *>(turned.data()) + layout.PixelOffset;
    switch (b) {
    case 8:
        TurnWholeBytes<1>(src, dst, W, H, S, D, turn);
        break;
    case 16:
        TurnWholeBytes<2>(src, dst, W, H, S, D, turn);
        break;
    case 24:
        TurnWholeBytes<3>(src, dst, W, H, S, D, turn);
        break;
    case 32:
        TurnWholeBytes<4>(src, dst, W, H, S, D, turn);
        break;
    default:
        TurnPackedPixels(src, dst, W, H, int(b), S, D, turn);
        break;
    }

    WriteLE32(turned.data() + TBitmapFileLayout::WidthAt, uint32_t(H));
    WriteLE32(turned.data() + TBitmapFileLayout::HeightAt, uint32_t(W));
    WriteLE32(turned.data() + TBitmapFileLayout::SizeImageAt, 0);
    return turned;
}

// The toolkit writes 1-bit, 8-bit indexed and 24-bit bitmaps and drops alpha, so an image with an
// alpha channel is turned twice: its colours, and its alpha as an 8-bit grey picture.
QImage TurnThroughFile(const QImage &Bitmap, TTurn turn)
{
    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    if (!Bitmap.save(&buffer, "BMP"))
        throw ERotateError("the bitmap could not be written as a bitmap file image");
    QByteArray turnedFile = Turn(file, turn);
    QBuffer input(&turnedFile);
    QImageReader reader(&input, "BMP");
    // No larger than the bitmap already in memory.
    const QImage turned = [&] {
        const TReaderLimit::TLift lift(Bitmap.sizeInBytes());
        return reader.read();
    }();
    if (turned.isNull())
        throw ERotateError("the turned bitmap file image could not be read");
    return turned;
}

// The file's table has no alpha, and the toolkit's reader may reorder a 2-entry table, so the
// indices are mapped back onto the original table by colour.
void RestoreColourTable(QImage &Turned, const QList<QRgb> &Table)
{
    const QList<QRgb> read = Turned.colorTable();
    uchar map[256];
    bool identity = true;
    for (int j = 0; j < 256; ++j) {
        map[j] = uchar(j);
        if (j >= read.size()
            || (j < Table.size() && qRgb(qRed(Table[j]), qGreen(Table[j]), qBlue(Table[j])) == read[j]))
            continue;
        for (int k = 0; k < Table.size(); ++k)
            if (qRgb(qRed(Table[k]), qGreen(Table[k]), qBlue(Table[k])) == read[j]) {
                map[j] = uchar(k);
                break;
            }
        identity = identity && map[j] == j;
    }
    if (!identity && Turned.depth() == 1 && map[0] == 1 && map[1] == 0)
        Turned.invertPixels();
    else if (!identity && Turned.depth() == 8)
        for (int y = 0; y < Turned.height(); ++y) {
            uchar *line = Turned.scanLine(y);
            for (int x = 0; x < Turned.width(); ++x)
                line[x] = map[line[x]];
        }
    Turned.setColorTable(Table);
}

void Rotate(QImage &Bitmap, TTurn turn)
{
    if (Bitmap.isNull())
        return;
    const QImage::Format format = Bitmap.format();
    if (Bitmap.colorCount() > 0 || !Bitmap.hasAlphaChannel()) {
        QImage turned = TurnThroughFile(Bitmap, turn);
        // 24-bit files read back as 32-bit pixels; 1-bit and 8-bit ones keep their depth and indices.
        if (turned.format() != format)
            turned = turned.convertToFormat(format);
        if (Bitmap.colorCount() > 0)
            RestoreColourTable(turned, Bitmap.colorTable());
        Bitmap = turned;
        return;
    }
    const QImage straight = Bitmap.convertToFormat(QImage::Format_ARGB32);
    const QImage alpha = straight.convertToFormat(QImage::Format_Alpha8);
    const QImage grey(alpha.constBits(), alpha.width(), alpha.height(), alpha.bytesPerLine(),
                      QImage::Format_Grayscale8);
    QImage colours = TurnThroughFile(straight, turn).convertToFormat(QImage::Format_ARGB32);
    const QImage turnedAlpha = TurnThroughFile(grey, turn).convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < colours.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(colours.scanLine(y));
        const uchar *a = turnedAlpha.constScanLine(y);
        for (int x = 0; x < colours.width(); ++x)
            line[x] = (line[x] & 0x00ffffffu) | QRgb(a[x]) << 24;
    }
    Bitmap = colours.format() == format ? colours : colours.convertToFormat(format);
}

} // namespace

namespace bmpRot {
QByteArray RotateFileImageRight(const QByteArray &FileImage)
{
    return Turn(FileImage, TTurn::Right);
}
QByteArray RotateFileImageLeft(const QByteArray &FileImage)
{
    return Turn(FileImage, TTurn::Left);
}
} // namespace bmpRot

void RotateRight(QImage &Bitmap)
{
    Rotate(Bitmap, TTurn::Right);
}
void RotateLeft(QImage &Bitmap)
{
    Rotate(Bitmap, TTurn::Left);
}
