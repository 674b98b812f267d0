// A plug-in for the host's tests, built several times with different definitions:
//   SPI_NAME     name written into the call log
//   SPI_VERSION  information number 0 ("00IN", "00AM", …)
//   SPI_PATTERN  information number 2, the extension pattern (SPI_PATTERN_TAIL: ";" and a second one)
//   SPI_NO_INFO  export no GetPluginInfo at all
//   SPI_NO_DECODER  export no IsSupported
//   SPI_SLOPPY   fill the whole buffer without a NUL and claim more characters than it holds
//   SPI_COMMENT  attach a comment block (without a NUL) to the picture information
// Every call is appended to the file named by PELMOR_SPI_LOG. Data beginning "PELTEST" decodes; the
// next byte picks the picture: 'g' 3 x 2 at 24 bits, 'p' 2 x 2 at 8 bits with a full colour table,
// 'b' a header claiming more pixels than its block holds, 'x' handles that are no blocks.

#include "viewer/SusiePlugin.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char Magic[] = "PELTEST";
constexpr size_t MagicLength = sizeof Magic - 1;

void Log(const char *format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char *format, ...)
{
    const char *path = std::getenv("PELMOR_SPI_LOG");
    FILE *file = path ? std::fopen(path, "a") : nullptr;
    if (!file)
        return;
    std::fprintf(file, "%s ", SPI_NAME);
    va_list args;
    va_start(args, format);
    std::vfprintf(file, format, args);
    va_end(args);
    std::fputc('\n', file);
    std::fclose(file);
}

[[maybe_unused]] int32_t CopyInfo(const char *text, char *buf, int32_t bufLength)
{
    const int32_t length = int32_t(std::strlen(text));
    if (length >= bufLength)
        return 0;
    std::memcpy(buf, text, size_t(length) + 1);
    return length;
}

HLOCAL Block(const void *data, size_t size)
{
    const HLOCAL handle = LocalAlloc(LHND, size);
    std::memcpy(LocalLock(handle), data, size);
    LocalUnlock(handle);
    return handle;
}

// A decoded picture of Width x Height at Bits per pixel with Colours table entries; the pixel block
// holds PixelBytes.
void MakePicture(int32_t width, int32_t height, uint16_t bits, uint32_t colours, size_t pixelBytes, HLOCAL *info,
                 HLOCAL *pixels)
{
    const size_t infoSize = sizeof(SusieBitmapInfoHeader)
                            + 4 * size_t(colours ? colours : (bits <= 8 ? 1u << bits : 0));
    unsigned char *infoBytes = static_cast<unsigned char *>(std::calloc(infoSize, 1));
    SusieBitmapInfoHeader header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bits;
    header.biClrUsed = colours;
    std::memcpy(infoBytes, &header, sizeof header);
    // Table entry i is grey level i, so an 8-bit picture shows which entry its pixel used.
    for (size_t i = sizeof header; i + 4 <= infoSize; i += 4)
        std::memset(infoBytes + i, int((i - sizeof header) / 4), 3);
    unsigned char *pixelBytesData = static_cast<unsigned char *>(std::calloc(pixelBytes ? pixelBytes : 1, 1));
    for (size_t i = 0; i < pixelBytes; ++i)
        pixelBytesData[i] = static_cast<unsigned char>(200 + i);
    *info = Block(infoBytes, infoSize);
    *pixels = Block(pixelBytesData, pixelBytes);
    std::free(infoBytes);
    std::free(pixelBytesData);
}

} // namespace

extern "C" {

#ifdef SPI_PATTERN_TAIL
#define SPI_PATTERNS SPI_PATTERN ";" SPI_PATTERN_TAIL
#else
#define SPI_PATTERNS SPI_PATTERN
#endif

#ifndef SPI_NO_INFO
SUSIE_EXPORT int32_t GetPluginInfo(int32_t infoNumber, char *buf, int32_t bufLength)
{
#ifdef SPI_SLOPPY
    if (infoNumber == 1) {
        std::memset(buf, 'x', size_t(bufLength));
        return bufLength + 100;
    }
#endif
    switch (infoNumber) {
    case 0:
        return CopyInfo(SPI_VERSION, buf, bufLength);
    case 1:
        return CopyInfo(SPI_NAME " test plug-in", buf, bufLength);
    case 2:
        return CopyInfo(SPI_PATTERNS, buf, bufLength);
    case 3:
        return CopyInfo(SPI_NAME " pictures", buf, bufLength);
    default:
        return 0;
    }
}
#endif

#ifndef SPI_NO_DECODER
SUSIE_EXPORT int32_t IsSupported(const char *fileName, const void *)
{
    Log("IsSupported %s", fileName);
    return 1;
}
#endif

SUSIE_EXPORT int32_t GetPictureInfo(const char *buf, int32_t length, uint32_t flag, SusiePictureInfo *info)
{
    // Whether the bytes past the data up to 2048 are there and zero.
    int padded = 1;
    for (int32_t i = length; i < 2048; ++i)
        padded &= buf[i] == 0;
    Log("GetPictureInfo %d %u %s", length, flag, length < 2048 ? (padded ? "padded" : "dirty") : "-");
    std::memset(info, 0, sizeof *info);
    info->width = 3;
#ifdef SPI_COMMENT
    info->hInfo = Block("comment", 7);
    Log("Comment %u", info->hInfo);
#endif
    return 0;
}

SUSIE_EXPORT int32_t GetPicture(const char *buf, int32_t length, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bitmap,
                                SusieProgressCallback progress, intptr_t userValue)
{
    if (size_t(length) <= MagicLength || std::memcmp(buf, Magic, MagicLength) != 0) {
        Log("GetPicture %d refused", length);
        return 2;
    }
    if (progress(0, 1, userValue) != 0)
        return 1;
    switch (buf[MagicLength]) {
    case 'g':
        MakePicture(3, 2, 24, 0, 2 * 12, bitmapInfo, bitmap);
        break;
    case 'p':
        MakePicture(2, 2, 8, 0, 2 * 4, bitmapInfo, bitmap);
        break;
    case 'b':
        MakePicture(100, 2, 24, 0, 10, bitmapInfo, bitmap);
        break;
    case 'x':
        *bitmapInfo = 0xdeadbeef;
        *bitmap = 0xfeedface;
        break;
    default:
        return 2;
    }
    Log("GetPicture %d %u %u %u", length, flag, *bitmapInfo, *bitmap);
    return 0;
}

} // extern "C"
