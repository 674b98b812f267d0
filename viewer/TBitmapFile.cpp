#include "viewer/TBitmapFile.h"

const char *ReadBitmapFileLayout(const char *Data, size_t Size, TBitmapFileLayout &Layout)
{
    using L = TBitmapFileLayout;
    if (Size < L::FileHeaderSize + 40 || Data[0] != 'B' || Data[1] != 'M')
        return "not a bitmap file image";
    Layout.PixelOffset = ReadLE32(Data + 10);
    Layout.HeaderSize = ReadLE32(Data + L::FileHeaderSize);
    Layout.Width = int32_t(ReadLE32(Data + L::WidthAt));
    Layout.Height = int32_t(ReadLE32(Data + L::HeightAt));
    Layout.BitCount = ReadLE16(Data + L::BitCountAt);
    Layout.Compression = ReadLE32(Data + L::CompressionAt);
    if (Layout.HeaderSize < 40 || uint64_t(L::FileHeaderSize) + Layout.HeaderSize > Layout.PixelOffset)
        return "bitmap information header too short or overlapping the pixels";
    if (Layout.PixelOffset > Size)
        return "bitmap pixel offset beyond the end of the data";
    switch (Layout.BitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        return "bitmap bit count not 1, 4, 8, 16, 24 or 32";
    }
    const bool masked = Layout.Compression == L::BI_BITFIELDS && (Layout.BitCount == 16 || Layout.BitCount == 32);
    if (Layout.Compression != L::BI_RGB && !masked)
        return "compressed bitmap";
    if (Layout.Width <= 0 || Layout.Height == 0 || Layout.Height == INT32_MIN)
        return "bitmap width or height out of range";
    Layout.Stride = BitmapStride(Layout.Width, Layout.BitCount);
    const int64_t rows = Layout.Height < 0 ? -int64_t(Layout.Height) : Layout.Height;
    // Divided rather than multiplied: a forged width and height overflow even 64 bits.
    if (rows > MaxPixelBytes / Layout.Stride)
        return "bitmap too large";
    if (int64_t(Layout.PixelOffset) + Layout.Stride * rows > int64_t(Size))
        return "bitmap pixel rows run past the end of the data";
    return nullptr;
}
