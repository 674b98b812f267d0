#include "viewer/TIconGrid.h"

#include "viewer/TBitmapFile.h"
#include "viewer/TReaderLimit.h"

#include <QBuffer>
#include <QImageReader>

#include <string>

namespace {

constexpr int Cell = TIconList::Width;
static_assert(TIconList::Width == TIconList::Height);
// The decoded grids stay near the size of their bytes, which the caller already holds.
constexpr int DecodeLimitMB = 1024;
constexpr size_t ColoursUsedAt = 46;

// A bottom-up bitmap file image of Width by Height pixels at BitCount bits, with Palette (BGRA
// quads) before the rows; Row fills one stored row, given its picture row.
template <typename FillRow>
QByteArray BitmapFile(int Width, int Height, int BitCount, const QByteArray &Palette, FillRow Row)
{
    const int64_t stride = BitmapStride(Width, BitCount);
    const uint32_t offset = uint32_t(TBitmapFileLayout::FileHeaderSize + 40 + size_t(Palette.size()));
    const uint32_t size = uint32_t(offset + stride * Height);
    QByteArray file(qsizetype(size), '\0');
    char *p = file.data();
    p[0] = 'B';
    p[1] = 'M';
    WriteLE32(p + 2, size);
    WriteLE32(p + 10, offset);
    WriteLE32(p + 14, 40);
    WriteLE32(p + TBitmapFileLayout::WidthAt, uint32_t(Width));
    WriteLE32(p + TBitmapFileLayout::HeightAt, uint32_t(Height));
    p[26] = 1; // planes
    p[TBitmapFileLayout::BitCountAt] = char(BitCount);
    WriteLE32(p + TBitmapFileLayout::SizeImageAt, uint32_t(stride * Height));
    WriteLE32(p + ColoursUsedAt, uint32_t(Palette.size() / 4));
    std::copy(Palette.begin(), Palette.end(), p + 54);
    for (int y = 0; y < Height; ++y)
        Row(y, reinterpret_cast<uchar *>(p + offset + stride * (Height - 1 - y)));
    return file;
}

QImage Decode(const QByteArray &File, const char *What)
{
    TBitmapFileLayout layout;
    if (const char *reason = ReadBitmapFileLayout(File.constData(), size_t(File.size()), layout))
        throw EIconGrid(std::string(What) + ": " + reason);
    // More colours than the pixels can name is no sound bitmap (the reader would write past its table).
    if (layout.BitCount <= 8 && ReadLE32(File.constData() + ColoursUsedAt) > (1u << layout.BitCount))
        throw EIconGrid(std::string(What) + ": more colours than its bit count allows");
    QBuffer buffer;
    buffer.setData(File);
    QImageReader reader(&buffer, "BMP");
    const QImage image = [&] {
        const TReaderLimit::TLift lift(qint64(DecodeLimitMB) << 20);
        return reader.read();
    }();
    const int height = layout.Height < 0 ? -layout.Height : layout.Height;
    if (image.isNull() || image.width() != layout.Width || image.height() != height)
        throw EIconGrid(std::string(What) + " cannot be decoded");
    return image;
}

} // namespace

namespace TIconGrid {

QByteArray Pack(const TIconList &Icons)
{
    const int count = Icons.Count();
    const int columns = std::max(1, std::min(Columns, count));
    const int rows = (count + columns - 1) / columns;
    const int width = columns * Cell, height = std::max(1, rows) * Cell;
    // The pixel of the grid at (x, y); cells past the last icon stay black.
    auto icon = [&](int x, int y) { return (y / Cell) * columns + x / Cell; };

    const QByteArray image = BitmapFile(width, height, 24, {}, [&](int y, uchar *row) {
        for (int x = 0; x < width; ++x) {
            const int k = icon(x, y);
            const QRgb rgb = k < count ? Icons.Image(k).pixel(x % Cell, y % Cell) : 0;
            row[3 * x] = uchar(qBlue(rgb));
            row[3 * x + 1] = uchar(qGreen(rgb));
            row[3 * x + 2] = uchar(qRed(rgb));
        }
    });
    // Index 0 black (opaque), 1 white (transparent), as image-list masks have it.
    const QByteArray palette("\0\0\0\0\xff\xff\xff\0", 8);
    const QByteArray mask = BitmapFile(width, height, 1, palette, [&](int y, uchar *row) {
        for (int x = 0; x < width; ++x) {
            const int k = icon(x, y);
            if (k < count && Icons.Mask(k).pixelIndex(x % Cell, y % Cell))
                row[x / 8] |= uchar(0x80 >> (x % 8));
        }
    });

    QByteArray bytes(8, '\0');
    WriteLE32(bytes.data(), uint32_t(image.size()));
    WriteLE32(bytes.data() + 4, uint32_t(count));
    return bytes + image + mask;
}

TIconList Unpack(const QByteArray &Bytes)
{
    if (Bytes.size() < 8)
        throw EIconGrid("icon data shorter than its header");
    const uint32_t imageSize = ReadLE32(Bytes.constData());
    const uint32_t count = ReadLE32(Bytes.constData() + 4);
    if (imageSize > uint64_t(Bytes.size() - 8))
        throw EIconGrid("the image bitmap runs past the end of the icon data");
    const QImage image = Decode(Bytes.mid(8, imageSize), "the image bitmap");
    const QImage mask =
        Decode(Bytes.mid(8 + qsizetype(imageSize)), "the mask bitmap").convertToFormat(QImage::Format_Grayscale8);
    if (mask.size() != image.size())
        throw EIconGrid("the mask bitmap and the image bitmap differ in size");
    const int columns = image.width() / Cell, rows = image.height() / Cell;
    if (uint64_t(columns) * uint64_t(rows) < count)
        throw EIconGrid("the bitmaps hold " + std::to_string(columns * rows) + " icons, not " + std::to_string(count));

    TIconList icons;
    for (uint32_t k = 0; k < count; ++k) {
        const int left = int(k % uint32_t(columns)) * Cell, top = int(k / uint32_t(columns)) * Cell;
        QImage cellMask(Cell, Cell, QImage::Format_MonoLSB);
        cellMask.fill(0);
        for (int y = 0; y < Cell; ++y) {
            const uchar *gray = mask.constScanLine(top + y) + left;
            for (int x = 0; x < Cell; ++x)
                if (gray[x] > 127)
                    cellMask.setPixel(x, y, 1);
        }
        icons.Add(image.copy(left, top, Cell, Cell), cellMask);
    }
    return icons;
}

} // namespace TIconGrid
