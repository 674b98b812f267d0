#pragma once

#include <cstddef>
#include <cstdint>

// The layout of a bitmap file image ("BM" file header, then an information header of at least 40
// bytes, then the colour table or masks, then the pixel rows), as read from its headers and checked
// against the size of the buffer that holds it.
struct TBitmapFileLayout {
    uint32_t PixelOffset = 0; // where the pixel rows begin
    uint32_t HeaderSize = 0;  // of the information header
    int32_t Width = 0;
    int32_t Height = 0;    // negative for rows stored top-down
    uint16_t BitCount = 0; // 1, 4, 8, 16, 24 or 32
    uint32_t Compression = 0;
    int64_t Stride = 0; // bytes per stored row, padded to 4

    static constexpr size_t FileHeaderSize = 14;
    // Byte offsets of the fields in the file image.
    static constexpr size_t WidthAt = 18, HeightAt = 22, BitCountAt = 28, CompressionAt = 30, SizeImageAt = 34;
    static constexpr uint32_t BI_RGB = 0, BI_BITFIELDS = 3;
};

// Fills Layout from the headers at Data; returns null when the image is sound (uncompressed or
// BI_BITFIELDS at 16/32 bits, width and height non-zero, every row inside Size bytes), else the reason.
// Pictures of more than MaxPixelBytes bytes of rows are refused, so a forged header cannot make the
// caller allocate without bound.
const char *ReadBitmapFileLayout(const char *Data, size_t Size, TBitmapFileLayout &Layout);

constexpr int64_t MaxPixelBytes = int64_t(1) << 30;

// Bytes per row of Width pixels at BitCount bits, padded to a multiple of 4.
constexpr int64_t BitmapStride(int64_t Width, int64_t BitCount)
{
    return (Width * BitCount + 31) / 32 * 4;
}

// Little-endian fields of a file image.
inline uint32_t ReadLE32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}
inline uint16_t ReadLE16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return uint16_t(u[0] | u[1] << 8);
}
inline void WriteLE32(char *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char(v >> (8 * i));
}
