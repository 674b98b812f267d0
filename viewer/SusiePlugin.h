#pragma once

// The entry points of a picture-decoder plug-in (a shared object named *.spi) and the records they
// exchange with the host. Integers are 32-bit as the plug-ins have always had them; the user value of
// the progress routine is pointer-sized so that it can carry the host's object.

#include "viewer/LocalMem.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)
// Filled by GetPictureInfo: 26 bytes, little-endian.
typedef struct SusiePictureInfo {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
    uint16_t x_density;
    uint16_t y_density;
    int16_t colorDepth;
    HLOCAL hInfo; // a block holding a text comment, or 0
} SusiePictureInfo;

// The header that opens the information block of a decoded picture, followed by its colour table.
typedef struct SusieBitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} SusieBitmapInfoHeader;
#pragma pack(pop)

// Returns 0 always, which lets the plug-in go on.
typedef int32_t (*SusieProgressCallback)(int32_t done, int32_t total, intptr_t userValue);

// Number of characters written to buf, 0 or less when there is no such entry.
typedef int32_t (*SusieGetPluginInfo)(int32_t infoNumber, char *buf, int32_t bufLength);
// Non-zero when the plug-in can decode the data at address (at least 2048 bytes readable there).
typedef int32_t (*SusieIsSupported)(const char *fileName, const void *address);
// 0 on success; flag 1: the data lies in memory at buf, length bytes long.
typedef int32_t (*SusieGetPictureInfo)(const char *buf, int32_t length, uint32_t flag, SusiePictureInfo *info);
// 0 on success; *bitmapInfo and *bitmap receive blocks that the host frees.
typedef int32_t (*SusieGetPicture)(const char *buf, int32_t length, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bitmap,
                                   SusieProgressCallback progress, intptr_t userValue);
typedef int32_t (*SusieGetPreview)(const char *buf, int32_t length, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bitmap,
                                   SusieProgressCallback progress, intptr_t userValue);

#define SUSIE_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
}
static_assert(sizeof(SusiePictureInfo) == 26, "the picture information record is packed");
static_assert(sizeof(SusieBitmapInfoHeader) == 40, "the bitmap information header is 40 bytes");
#endif
