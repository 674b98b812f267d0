#include "viewer/TDibImage.h"

#include "viewer/LocalMem.h"
#include "viewer/SusiePlugin.h"
#include "viewer/TPicture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

// A block as a plug-in hands it over: from the shared local memory at exactly its size, so that under
// the address sanitizer a read one byte past it is a finding.
class TPluginBlock
{
public:
    TPluginBlock(const void *Bytes, size_t Size) : FHandle(LocalAlloc(LMEM_FIXED, Size)), FData(LocalLock(FHandle))
    {
        if (FData && Size)
            std::memcpy(FData, Bytes, Size);
    }
    ~TPluginBlock()
    {
        LocalUnlock(FHandle);
        LocalFree(FHandle);
    }
    TPluginBlock(const TPluginBlock &) = delete;
    TPluginBlock &operator=(const TPluginBlock &) = delete;

    const void *Data() const { return FData; }
    size_t Size() const { return LocalSize(FHandle); }

private:
    HLOCAL FHandle;
    void *FData;
};

QByteArray FileOf(const TPluginBlock &Info, const TPluginBlock &Bits)
{
    return DibToBitmapFile(Info.Data(), Info.Size(), Bits.Data(), Bits.Size());
}

// A decoded picture as a plug-in hands it over: exact-size blocks, so a read past one is a finding.
struct TDib {
    SusieBitmapInfoHeader Header{};
    std::vector<uint32_t> Table;
    std::vector<unsigned char> Pixels;
    size_t ExtraHeader = 0; // bytes of a longer header between the 40 and the table

    TDib(int32_t Width, int32_t Height, uint16_t Bits, size_t Colours)
    {
        Header.biSize = 40;
        Header.biWidth = Width;
        Header.biHeight = Height;
        Header.biPlanes = 1;
        Header.biBitCount = Bits;
        Table.assign(Colours, 0);
        const size_t stride = (size_t(Bits) * size_t(Width > 0 ? Width : 0) + 31) / 32 * 4;
        Pixels.assign(stride * size_t(Height < 0 ? -Height : Height), 0);
    }

    std::vector<unsigned char> Info() const
    {
        std::vector<unsigned char> info(sizeof Header + ExtraHeader + 4 * Table.size(), 0);
        std::memcpy(info.data(), &Header, sizeof Header);
        if (!Table.empty())
            std::memcpy(info.data() + sizeof Header + ExtraHeader, Table.data(), 4 * Table.size());
        return info;
    }

    QByteArray File() const
    {
        const std::vector<unsigned char> info = Info();
        return FileOf(TPluginBlock(info.data(), info.size()), TPluginBlock(Pixels.data(), Pixels.size()));
    }

    QImage Image() const
    {
        TBitmap bitmap;
        bitmap.ReadBitmapFile(File());
        return bitmap.Bitmap();
    }
};

uint32_t Read32(const QByteArray &Bytes, int Offset)
{
    uint32_t value = 0;
    std::memcpy(&value, Bytes.constData() + Offset, 4);
    return value;
}

} // namespace

// Catches a wrong file size or pixel offset in the header the reader relies on, and a colour table of
// the wrong length (8 bits with no count need all 256 entries; 24 bits none).
TEST(TDibImage, WritesHeaderTableAndPixels)
{
    TDib grey(2, 2, 8, 256);
    grey.Table[200] = 0x00c8c8c8;
    grey.Pixels[0] = 200; // bottom-up: the first row is the bottom one
    const QByteArray file = grey.File();
    EXPECT_EQ(file.left(2), "BM");
    EXPECT_EQ(Read32(file, 2), uint32_t(54 + 1024 + 8));
    EXPECT_EQ(Read32(file, 10), uint32_t(54 + 1024));
    EXPECT_EQ(file.size(), 54 + 1024 + 8);
    EXPECT_EQ(grey.Image().pixel(0, 1), qRgb(200, 200, 200));

    TDib colour(3, 2, 24, 0);
    colour.Pixels = {1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 20, 30, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Read32(colour.File(), 10), 54u);
    const QImage image = colour.Image();
    EXPECT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(image.pixel(0, 1), qRgb(3, 2, 1));
    EXPECT_EQ(image.pixel(0, 0), qRgb(30, 20, 10));

    TDib mono(9, 1, 1, 2);
    mono.Table[1] = 0x00ffffff;
    mono.Pixels[0] = 0x80;
    EXPECT_EQ(Read32(mono.File(), 10), uint32_t(54 + 8));
    EXPECT_EQ(mono.Image().pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(mono.Image().pixel(1, 0), qRgb(0, 0, 0));
}

// Catches a top-down picture turned over, and a longer header whose colour table would be taken from
// inside the header.
TEST(TDibImage, TopDownAndLongHeaders)
{
    TDib topDown(1, -2, 24, 0);
    topDown.Pixels = {0, 0, 255, 0, 255, 0, 0, 0};
    EXPECT_EQ(topDown.Image().pixel(0, 0), qRgb(255, 0, 0));

    TDib v5(1, 1, 8, 2);
    v5.Header.biSize = 124;
    v5.ExtraHeader = 124 - 40;
    v5.Header.biClrUsed = 2;
    v5.Table[1] = 0x00102030;
    v5.Pixels[0] = 1;
    EXPECT_EQ(Read32(v5.File(), 14), 40u);
    EXPECT_EQ(v5.Image().pixel(0, 0), qRgb(0x10, 0x20, 0x30));
}

// Each lie a plug-in can tell in its blocks must end in an error, never in a read beyond a block or a
// huge allocation.
TEST(TDibImage, RefusesBrokenBlocks)
{
    const std::vector<std::pair<const char *, std::function<void(TDib &)>>> faults{
        {"header size below 40", [](TDib &d) { d.Header.biSize = 39; }},
        {"header size beyond the block", [](TDib &d) { d.Header.biSize = 40 + 4 * 256 + 1; }},
        {"no width", [](TDib &d) { d.Header.biWidth = 0; }},
        {"negative width", [](TDib &d) { d.Header.biWidth = -4; }},
        {"no height", [](TDib &d) { d.Header.biHeight = 0; }},
        {"2 bits per pixel", [](TDib &d) { d.Header.biBitCount = 2; }},
        {"no bits per pixel", [](TDib &d) { d.Header.biBitCount = 0; }},
        {"run-length compression", [](TDib &d) { d.Header.biCompression = 1; }},
        {"257 colours at 8 bits", [](TDib &d) { d.Header.biClrUsed = 257; }},
        {"colour table cut short", [](TDib &d) { d.Table.pop_back(); }},
        {"pixel block one byte short", [](TDib &d) { d.Pixels.pop_back(); }},
        {"more rows than pixels", [](TDib &d) { d.Header.biHeight = 3; }},
        {"most negative height", [](TDib &d) { d.Header.biHeight = INT32_MIN; }},
        {"width that overflows 32 bits", [](TDib &d) { d.Header.biWidth = INT32_MAX; }},
        {"2^29 pixels", [](TDib &d) { d.Header.biWidth = 1 << 15, d.Header.biHeight = 1 << 14; }},
        {"24 bits with 2^32-1 colours", [](TDib &d) { d.Header.biBitCount = 24, d.Header.biClrUsed = UINT32_MAX; }},
    };
    for (const auto &[what, fault] : faults) {
        TDib dib(4, 2, 8, 256);
        fault(dib);
        EXPECT_THROW(dib.File(), EInvalidDib) << what;
    }

    const TDib good(4, 2, 8, 256);
    const std::vector<unsigned char> info = good.Info();
    const TPluginBlock pixels(good.Pixels.data(), good.Pixels.size());
    // Blocks shorter than the header their first field claims: its 40 bytes must not be read.
    for (const size_t size : {4, 20, 39}) {
        const TPluginBlock cut(info.data(), size);
        EXPECT_THROW(FileOf(cut, pixels), EInvalidDib) << size << "-byte information block";
    }
    EXPECT_THROW(DibToBitmapFile(nullptr, 0, pixels.Data(), pixels.Size()), EInvalidDib);
    EXPECT_THROW(DibToBitmapFile(info.data(), info.size(), nullptr, 0), EInvalidDib);
    EXPECT_NO_THROW(good.File());
}

// Catches the host taking on a picture that the viewer's readers then throw away: one row beyond the
// viewer's limit is refused for its size, before its pixel block is looked at.
TEST(TDibImage, RefusesPicturesBeyondTheViewerLimit)
{
    TDib dib(1, 1, 24, 0);
    dib.Header.biWidth = 8192;
    dib.Header.biHeight = 8193;
    try {
        dib.File();
        ADD_FAILURE() << "taken";
    } catch (const EInvalidDib &error) {
        EXPECT_NE(std::string(error.what()).find("8192 x 8193 pixels is too large"), std::string::npos) << error.what();
    }
}
