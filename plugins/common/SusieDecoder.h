#pragma once

// The part every decoder plug-in shares: the four entry points' checks, limits and results, and the
// turning of decoded RGBA pixels into the bottom-up 24-bit bitmap that the host reads. A plug-in
// supplies a TSusieFormat and SUSIE_DECODER_ENTRY_POINTS(its format).

#include "viewer/PictureLimit.h"
#include "viewer/SusiePlugin.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace SusieDecoder {

// Results as the plug-ins have always given them.
enum TResult : int32_t {
    Success = 0,
    NotImplemented = -1,
    Cancelled = 1,
    Broken = 3,
    NoMemory = 4,
    InternalError = 8,
};

// Decoder threads: the machine's cores, within reason.
unsigned Threads();

// A decoded picture, top row first: one element per pixel holding its bytes red, green, blue and
// alpha in memory order, alpha straight (not premultiplied).
struct TDecoded {
    uint32_t Width = 0;
    uint32_t Height = 0;
    std::vector<uint32_t> Rgba;
};

struct TSusieFormat {
    const char *const *Info; // information numbers 0, 1, 2, 3, ...
    int InfoCount;
    // At least 2048 bytes are readable at Data, whatever the length of the file.
    bool (*Signature)(const uint8_t *Data);
    // The picture's size from its headers, without decoding the pixels.
    TResult (*ReadSize)(const uint8_t *Data, size_t Length, uint32_t &Width, uint32_t &Height);
    TResult (*Decode)(const uint8_t *Data, size_t Length, TDecoded &Picture);
};

// The formats of the plug-ins built here, one in each.
extern const TSusieFormat AvifFormat;
extern const TSusieFormat JxlFormat;

int32_t GetPluginInfo(const TSusieFormat &Format, int32_t InfoNumber, char *Buf, int32_t BufLength);
int32_t IsSupported(const TSusieFormat &Format, const char *FileName, const void *Address);
int32_t GetPictureInfo(const TSusieFormat &Format, const char *Buf, int32_t Length, uint32_t Flag,
                       SusiePictureInfo *Info);
int32_t GetPicture(const TSusieFormat &Format, const char *Buf, int32_t Length, uint32_t Flag, HLOCAL *BitmapInfo,
                   HLOCAL *Bitmap, SusieProgressCallback Progress, intptr_t UserValue);

} // namespace SusieDecoder

#define SUSIE_DECODER_ENTRY_POINTS(format) \
    extern "C" SUSIE_EXPORT int32_t GetPluginInfo(int32_t infoNumber, char *buf, int32_t bufLength) \
    { \
        return SusieDecoder::GetPluginInfo(format, infoNumber, buf, bufLength); \
    } \
    extern "C" SUSIE_EXPORT int32_t IsSupported(const char *fileName, const void *address) \
    { \
        return SusieDecoder::IsSupported(format, fileName, address); \
    } \
    extern "C" SUSIE_EXPORT int32_t GetPictureInfo(const char *buf, int32_t length, uint32_t flag, \
                                                   SusiePictureInfo *info) \
    { \
        return SusieDecoder::GetPictureInfo(format, buf, length, flag, info); \
    } \
    extern "C" SUSIE_EXPORT int32_t GetPicture(const char *buf, int32_t length, uint32_t flag, HLOCAL *bitmapInfo, \
                                               HLOCAL *bitmap, SusieProgressCallback progress, intptr_t userValue) \
    { \
        return SusieDecoder::GetPicture(format, buf, length, flag, bitmapInfo, bitmap, progress, userValue); \
    }
