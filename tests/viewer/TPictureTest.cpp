#include "viewer/TPicture.h"

#include "tests/support/TempFolder.h"
#include "viewer/PictureLimit.h"
#include "viewer/TBitmapFile.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <gtest/gtest.h>

namespace {

QByteArray Encoded(const QImage &Image, const char *Format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(Image.save(&buffer, Format));
    return bytes;
}

// A small JPEG whose frame header announces Width by Height. The toolkit's reader allocates for the
// size its header gives and fills what the data does not cover, so the size alone decides.
QByteArray JpegAnnouncing(int Width, int Height)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QByteArray bytes = Encoded(image, "JPG");
    // Marker segments after the start of image: 0xff, the kind, a big-endian length counting itself.
    qsizetype at = 2;
    while (at + 9 < bytes.size() && uchar(bytes[at + 1]) != 0xc0)
        at += 2 + (uchar(bytes[at + 2]) << 8 | uchar(bytes[at + 3]));
    EXPECT_LT(at + 9, bytes.size()) << "no baseline frame header";
    // The frame header: length, sample precision, height, width.
    const char size[4] = {char(Height >> 8), char(Height), char(Width >> 8), char(Width)};
    bytes.replace(at + 5, 4, size, 4);
    return bytes;
}

// An 8-bit bitmap file announcing Width by Height, run-length coded with the one code that ends the
// picture: a few bytes for as many pixels as its header says.
QByteArray RleBitmapAnnouncing(int Width, int Height)
{
    // A full table makes the writer keep 8 bits a pixel.
    QImage dot(1, 1, QImage::Format_Indexed8);
    dot.setColorCount(256);
    dot.fill(0);
    QByteArray file = Encoded(dot, "BMP");
    char *p = file.data();
    EXPECT_EQ(p[TBitmapFileLayout::BitCountAt], 8);
    WriteLE32(p + TBitmapFileLayout::WidthAt, uint32_t(Width));
    WriteLE32(p + TBitmapFileLayout::HeightAt, uint32_t(Height));
    p[TBitmapFileLayout::CompressionAt] = 1;
    const uint32_t pixels = ReadLE32(p + 10);
    p[pixels] = 0;
    p[pixels + 1] = 1;
    return file;
}

} // namespace

// Catches a reader of the registry left at the toolkit's own limit, where a 48-megapixel photo does
// not open (whatever set the limit before), and a picture beyond the viewer's limit read all the same.
// The bitmap reader is held to the limit as the other formats' reader is.
TEST(TPicture, RegistryReadsWhatTheViewerShowsAndNoMore)
{
    TTempFolder dir;
    constexpr int ToolkitDefaultMB = 128;
    static_assert(8000ull * 6000 * 4 > uint64_t(ToolkitDefaultMB) << 20 && 8000ull * 6000 <= PictureLimit::MaxPixels);
    static_assert(8193ull * 8192 > PictureLimit::MaxPixels);
    const struct {
        QString Name;
        QByteArray Bytes;
        QSize Size; // empty when refused
    } cases[] = {
        {"photo.jpg", JpegAnnouncing(8000, 6000), QSize(8000, 6000)},
        {"beyond.jpg", JpegAnnouncing(8193, 8192), QSize()},
        {"photo.bmp", RleBitmapAnnouncing(8000, 6000), QSize(8000, 6000)},
        {"beyond.bmp", RleBitmapAnnouncing(8193, 8192), QSize()},
    };
    for (const auto &c : cases) {
        QImageReader::setAllocationLimit(ToolkitDefaultMB);
        const QString file = dir.write(c.Name, c.Bytes);
        if (c.Size.isEmpty())
            EXPECT_THROW(LoadPicture(file), EInvalidGraphic) << c.Name.toStdString();
        else
            EXPECT_EQ(LoadPicture(file).size(), c.Size) << c.Name.toStdString();
    }
}
