#pragma once

// The largest picture the viewer decodes, shared by the decoder plug-ins and the viewer's own
// readers: its bitmap at 32 bits a pixel (as the viewer holds every picture) fits in MaxBytes. A
// decoder checks a picture's size from its headers against it before it allocates anything, so no
// picture is decoded only to be thrown away by the next reader on its way.
// 256 MiB is a 64-megapixel picture: an 8000 x 6000 photo or an 8192 x 8192 texture still opens.
// The fuzz targets build with a smaller limit to stay inside their memory.

#include <stdint.h>

#ifndef PELMOR_PICTURE_MAX_BYTES
#define PELMOR_PICTURE_MAX_BYTES (uint64_t(256) << 20)
#endif

namespace PictureLimit {

constexpr uint64_t BytesPerPixel = 4;
constexpr uint64_t MaxBytes = PELMOR_PICTURE_MAX_BYTES;
constexpr uint64_t MaxPixels = MaxBytes / BytesPerPixel;
// The same limit as the toolkit's readers count it: whole megabytes.
constexpr int MaxMegabytes = int(MaxBytes >> 20);
static_assert(MaxBytes % (uint64_t(1) << 20) == 0, "the toolkit's readers count whole megabytes");

// Whether a picture of Width by Height pixels is one the viewer takes. Each side is checked first so
// that the product cannot overflow.
constexpr bool Fits(uint64_t Width, uint64_t Height)
{
    return Width > 0 && Height > 0 && Width <= MaxPixels && Height <= MaxPixels && Width * Height <= MaxPixels;
}

} // namespace PictureLimit
