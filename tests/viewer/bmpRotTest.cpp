#include "viewer/bmpRot.h"

#include "viewer/TBitmapFile.h"

#include <QImage>
#include <QImageReader>
#include <QTransform>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A hand-made bottom-up bitmap file image, every depth, with the pixel values given row by row
// (stored order) and the row padding and unused low bits filled with ones to catch misreads.
struct TFileImage {
    int W, H, b;
    std::vector<uint32_t> pixels; // stored row i, pixel x at i * W + x
    QByteArray table;             // colour table or masks, written before the pixels
    uint32_t compression = 0;

    int64_t Stride() const { return BitmapStride(W, b); }
    QByteArray Bytes() const
    {
        const uint32_t offset = uint32_t(54 + table.size());
        QByteArray image(qsizetype(offset + Stride() * H), '\0');
        char *p = image.data();
        p[0] = 'B';
        p[1] = 'M';
        WriteLE32(p + 2, uint32_t(image.size()));
        WriteLE32(p + 10, offset);
        WriteLE32(p + 14, 40);
        WriteLE32(p + 18, uint32_t(W));
        WriteLE32(p + 22, uint32_t(H));
        p[26] = 1;
        p[28] = char(b);
        WriteLE32(p + 30, compression);
        std::memcpy(p + 54, table.constData(), size_t(table.size()));
        std::memset(p + offset, 0xff, size_t(Stride() * H));
        for (int i = 0; i < H; ++i)
            for (int x = 0; x < W; ++x)
                SetPixel(image, offset, i, x, pixels[size_t(i * W + x)]);
        return image;
    }
    void SetPixel(QByteArray &image, uint32_t offset, int row, int x, uint32_t value) const
    {
        auto *r = reinterpret_cast<uchar *>(image.data()) + offset + row * Stride();
        if (b < 8) {
            const int shift = 8 - b - (x * b) % 8;
            const uchar mask = uchar(((1 << b) - 1) << shift);
            uchar &byte = r[x * b / 8];
            byte = uchar((byte & ~mask) | (value << shift));
        } else {
            for (int k = 0; k < b / 8; ++k)
                r[x * b / 8 + k] = uchar(value >> (8 * k));
        }
    }
};

uint32_t PixelOf(const QByteArray &image, int row, int x)
{
    TBitmapFileLayout layout;
    EXPECT_EQ(ReadBitmapFileLayout(image.constData(), size_t(image.size()), layout), nullptr);
    const auto *r = reinterpret_cast<const uchar *>(image.constData()) + layout.PixelOffset + row * layout.Stride;
    const int b = layout.BitCount;
    if (b < 8)
        return (r[x * b / 8] >> (8 - b - (x * b) % 8)) & ((1u << b) - 1);
    uint32_t value = 0;
    for (int k = 0; k < b / 8; ++k)
        value |= uint32_t(r[x * b / 8 + k]) << (8 * k);
    return value;
}

TFileImage Sample(int W, int H, int b)
{
    TFileImage image{W, H, b, {}, {}};
    uint32_t seed = 12345u + uint32_t(b);
    const uint32_t limit = b == 32 ? 0xffffffffu : (1u << b) - 1;
    for (int k = 0; k < W * H; ++k) {
        seed = seed * 1103515245u + 12345u;
        image.pixels.push_back((seed >> 3) & limit);
    }
    if (b <= 8)
        for (int k = 0; k < (1 << b); ++k)
            image.table.append(QByteArray::fromRawData("\x10\x20\x30\x00", 4)).back() = char(k);
    return image;
}

} // namespace

// Every depth, odd sizes with row padding: each pixel lands where the quarter turn puts it, the
// header is swapped, the table kept, and four turns or a turn each way give back the original.
TEST(bmpRot, EveryDepthMapsPixelsAndTurnsBack)
{
    for (int b : {1, 4, 8, 16, 24, 32}) {
        for (auto [W, H] : {std::pair{10, 3}, std::pair{3, 7}, std::pair{1, 1}}) {
            SCOPED_TRACE(testing::Message() << b << " bits, " << W << "x" << H);
            const TFileImage source = Sample(W, H, b);
            const QByteArray bytes = source.Bytes();
            const QByteArray right = bmpRot::RotateFileImageRight(bytes);
            const QByteArray left = bmpRot::RotateFileImageLeft(bytes);
            const uint32_t offset = uint32_t(54 + source.table.size());
            ASSERT_EQ(right.size(), offset + BitmapStride(H, b) * W);
            EXPECT_EQ(ReadLE32(right.constData() + 18), uint32_t(H));
            EXPECT_EQ(ReadLE32(right.constData() + 22), uint32_t(W));
            EXPECT_EQ(right.mid(54, source.table.size()), source.table);
            for (int i = 0; i < H; ++i)
                for (int x = 0; x < W; ++x) {
                    const uint32_t value = source.pixels[size_t(i * W + x)];
                    ASSERT_EQ(PixelOf(right, W - 1 - x, i), value) << "clockwise, row " << i << " pixel " << x;
                    ASSERT_EQ(PixelOf(left, x, H - 1 - i), value) << "counter-clockwise, row " << i << " pixel " << x;
                }
            QByteArray four = bytes;
            for (int k = 0; k < 4; ++k)
                four = bmpRot::RotateFileImageRight(four);
            const QByteArray back = bmpRot::RotateFileImageLeft(right);
            for (int i = 0; i < H; ++i)
                for (int x = 0; x < W; ++x) {
                    ASSERT_EQ(PixelOf(four, i, x), source.pixels[size_t(i * W + x)]);
                    ASSERT_EQ(PixelOf(back, i, x), source.pixels[size_t(i * W + x)]);
                }
        }
    }
}

TEST(bmpRot, SmallExamples)
{
    // 3 by 2 at 24 bits: strides 12 and 8; the bottom-left pixel becomes the top-left one.
    TFileImage wide{3, 2, 24, {0x111111, 0x222222, 0x333333, 0x444444, 0x555555, 0x666666}, {}};
    const QByteArray turned = bmpRot::RotateFileImageRight(wide.Bytes());
    EXPECT_EQ(wide.Stride(), 12);
    EXPECT_EQ(turned.size(), 54 + 8 * 3);
    EXPECT_EQ(PixelOf(turned, 2, 0), 0x111111u);
    EXPECT_EQ(PixelOf(turned, 0, 1), 0x666666u);

    // 1 bit, 10 pixels: one full byte, then the top two bits of the second; the rest is padding.
    TFileImage row{10, 1, 1, {1, 0, 1, 1, 0, 0, 1, 1, 0, 1}, QByteArray("\0\0\0\0\xff\xff\xff\0", 8)};
    const QByteArray bytes = row.Bytes();
    EXPECT_EQ(uchar(bytes[62]), 0b10110011);
    EXPECT_EQ(uchar(bytes[63]), 0b01111111);
    const QByteArray column = bmpRot::RotateFileImageRight(bytes);
    EXPECT_EQ(PixelOf(column, 0, 0), 1u); // pixel 9
    EXPECT_EQ(PixelOf(column, 1, 0), 0u); // pixel 8
    EXPECT_EQ(PixelOf(column, 9, 0), 1u); // pixel 0
}

// Anything the walks cannot take is refused before a byte is moved, never misread.
TEST(bmpRot, RefusesWhatItCannotTurn)
{
    const QByteArray good = Sample(5, 4, 8).Bytes();
    auto with = [&](size_t at, uint32_t value, int bytes = 4) {
        QByteArray image = good;
        for (int k = 0; k < bytes; ++k)
            image[qsizetype(at) + k] = char(value >> (8 * k));
        return image;
    };
    const std::pair<const char *, QByteArray> cases[] = {
        {"compressed (RLE8)", with(30, 1)},
        {"bit fields at 8 bits", with(30, 3)},
        {"top-down", with(22, uint32_t(-4))},
        {"short buffer", good.left(good.size() - 1)},
        {"headers only", good.left(40)},
        {"not BM", with(0, 'X', 1)},
        {"old 12-byte header", with(14, 12)},
        {"pixel offset past the end", with(10, uint32_t(good.size() + 1))},
        {"pixel offset inside the header", with(10, 40)},
        {"2 bits per pixel", with(28, 2, 2)},
        {"zero width", with(18, 0)},
        {"negative width", with(18, uint32_t(-5))},
        {"forged huge size", with(18, 0x7fffffff)},
    };
    for (const auto &[what, image] : cases)
        EXPECT_THROW(bmpRot::RotateFileImageRight(image), ERotateError) << what;

    // Width and height both forged at 32 bits: their product overflows 64 bits and must not wrap
    // into a size that passes.
    QByteArray forged = with(28, 32, 2);
    WriteLE32(forged.data() + 18, 0x7fffffff);
    WriteLE32(forged.data() + 22, 0x7fffffff);
    EXPECT_THROW(bmpRot::RotateFileImageRight(forged), ERotateError);

    // A 1-bit picture one row high grows 32-fold when turned; past the cap that is refused too.
    TFileImage thin{1, 1, 1, {1}, QByteArray(8, '\0')};
    QByteArray wide = thin.Bytes();
    const int64_t width = MaxPixelBytes / 4 + 1;
    wide.resize(qsizetype(62 + BitmapStride(width, 1)));
    WriteLE32(wide.data() + 18, uint32_t(width));
    EXPECT_THROW(bmpRot::RotateFileImageLeft(wide), ERotateError);

    // 16 and 32 bits with channel masks move like plain pixels, masks kept.
    TFileImage masked = Sample(3, 2, 32);
    masked.compression = 3;
    masked.table = QByteArray("\0\0\xff\0\0\xff\0\0\xff\0\0\0", 12);
    const QByteArray turned = bmpRot::RotateFileImageRight(masked.Bytes());
    EXPECT_EQ(turned.mid(54, 12), masked.table);
    EXPECT_EQ(PixelOf(turned, 2, 0), masked.pixels[0]);
}

// Through the toolkit: the result matches the toolkit's own quarter turn, keeps the image's format,
// its colour table (alpha included) and its alpha channel.
TEST(bmpRot, BitmapsKeepFormatTableAndAlpha)
{
    QImage indexed(5, 3, QImage::Format_Indexed8);
    indexed.setColorTable({qRgba(255, 0, 0, 255), qRgba(0, 255, 0, 128), qRgba(0, 0, 255, 0), qRgb(9, 9, 9)});
    QImage argb(5, 3, QImage::Format_ARGB32);
    QImage mono(13, 3, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            indexed.setPixel(x, y, uint((x + 2 * y) % 4));
            argb.setPixel(x, y, qRgba(40 * x, 70 * y, 200, 50 * x + 10 * y));
        }
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 13; ++x)
            mono.setPixel(x, y, uint((x * 7 + y) % 3 == 0));
    QImage rgb888 = argb.convertToFormat(QImage::Format_RGB888);
    QImage premultiplied = argb.convertToFormat(QImage::Format_ARGB32_Premultiplied);

    for (const QImage &original : {indexed, argb, mono, rgb888, premultiplied}) {
        SCOPED_TRACE(testing::Message() << "format " << int(original.format()));
        QImage right = original, left = original;
        RotateRight(right);
        RotateLeft(left);
        EXPECT_EQ(right.format(), original.format());
        EXPECT_EQ(right.colorTable(), original.colorTable());
        EXPECT_EQ(right, original.transformed(QTransform().rotate(90)));
        EXPECT_EQ(left, original.transformed(QTransform().rotate(-90)));
    }
    QImage none;
    RotateRight(none);
    EXPECT_TRUE(none.isNull());
}

// The toolkit's reader refuses pictures above its allocation limit; a bitmap that is already in
// memory still turns, and the limit is the same afterwards.
TEST(bmpRot, TurnsBitmapsAboveTheReadersLimit)
{
    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(1);
    QImage large(1000, 400, QImage::Format_RGB32);
    large.fill(qRgb(1, 2, 3));
    large.setPixel(0, 399, qRgb(200, 100, 50));
    EXPECT_NO_THROW(RotateRight(large));
    EXPECT_EQ(large.size(), QSize(400, 1000));
    EXPECT_EQ(large.pixel(0, 0), qRgb(200, 100, 50));
    EXPECT_EQ(QImageReader::allocationLimit(), 1);
    QImageReader::setAllocationLimit(limit);
}
