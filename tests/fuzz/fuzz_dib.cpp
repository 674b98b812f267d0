// The hand-over of a decoded picture: fuzzed block sizes and header fields into the bitmap file
// image, then into the base bitmap reader. Layout: 2 bytes information block size, 2 bytes pixel
// block size (little-endian), then the blocks' bytes (short input is padded with zeros).

#include "tests/fuzz/FuzzSupport.h"
#include "viewer/TDibImage.h"
#include "viewer/TPicture.h"

#include <algorithm>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::StartApplication();
    if (size < 4)
        return 0;
    const size_t infoSize = size_t(data[0] | data[1] << 8) % 4096;
    const size_t bitsSize = size_t(data[2] | data[3] << 8);
    data += 4;
    size -= 4;
    // Blocks of exactly their size, so a read past one is caught.
    auto info = std::make_unique<char[]>(infoSize + 1);
    auto bits = std::make_unique<char[]>(bitsSize + 1);
    const size_t infoBytes = std::min(size, infoSize);
    std::memcpy(info.get(), data, infoBytes);
    std::memset(info.get() + infoBytes, 0, infoSize - infoBytes);
    const size_t bitsBytes = std::min(size - infoBytes, bitsSize);
    std::memcpy(bits.get(), data + infoBytes, bitsBytes);
    std::memset(bits.get() + bitsBytes, 0, bitsSize - bitsBytes);

    QByteArray file;
    try {
        file = DibToBitmapFile(infoSize ? info.get() : nullptr, infoSize, bits.get(), bitsSize);
    } catch (const EInvalidDib &) {
        return 0;
    }
    uint32_t fileSize = 0, offset = 0;
    std::memcpy(&fileSize, file.constData() + 2, 4);
    std::memcpy(&offset, file.constData() + 10, 4);
    FuzzSupport::Check(file.startsWith("BM") && fileSize == uint32_t(file.size()) && offset >= 54 && offset <= fileSize,
                       "bitmap file header matches the image");
    FuzzSupport::Check(file.size() <= qsizetype(14 + infoSize + bitsSize), "no more bytes than the blocks hold");
    TBitmap bitmap;
    try {
        bitmap.ReadBitmapFile(file);
    } catch (const EInvalidGraphic &) {
    }
    return 0;
}
