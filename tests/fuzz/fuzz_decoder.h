#pragma once

// A decoder plug-in's entry points on any bytes, called as the host calls them: the signature test
// on a zero-padded copy of at least 2048 bytes, then the size and the picture on exactly the input.
// A picture handed back must be the bitmap its header describes; both blocks are freed.
#include "plugins/common/SusieDecoder.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace FuzzDecoder {

inline int32_t KeepGoing(int32_t, int32_t, intptr_t)
{
    return 0;
}

inline void Run(const SusieDecoder::TSusieFormat &Format, const uint8_t *Data, size_t Size)
{
    std::vector<char> padded(std::max<size_t>(Size, 2048), '\0');
    std::memcpy(padded.data(), Data, Size);
    SusieDecoder::IsSupported(Format, "input", padded.data());

    // The exact bytes, in a block of their own, so a read beyond the length is caught.
    std::vector<char> exact(Data, Data + Size);
    const int32_t length = int32_t(std::min<size_t>(Size, INT32_MAX));
    SusiePictureInfo info{};
    SusieDecoder::GetPictureInfo(Format, exact.data(), length, 1, &info);
    HLOCAL header = 0, pixels = 0;
    if (SusieDecoder::GetPicture(Format, exact.data(), length, 1, &header, &pixels, KeepGoing, 0) != 0) {
        FuzzSupport::Check(header == 0 && pixels == 0, "no blocks after a failure");
        return;
    }
    const auto *bih = static_cast<const SusieBitmapInfoHeader *>(LocalLock(header));
    FuzzSupport::Check(bih && LocalLock(pixels), "both blocks handed back");
    FuzzSupport::Check(LocalSize(header) == sizeof(SusieBitmapInfoHeader) && bih->biBitCount == 24 && bih->biWidth > 0
                           && bih->biHeight > 0,
                       "a bottom-up 24-bit header");
    const size_t stride = (size_t(bih->biWidth) * 24 + 31) / 32 * 4;
    FuzzSupport::Check(LocalSize(pixels) == stride * size_t(bih->biHeight), "the pixel block holds every row");
    LocalUnlock(header);
    LocalUnlock(pixels);
    FuzzSupport::Check(LocalFree(header) == 0 && LocalFree(pixels) == 0, "the blocks are live");
}

} // namespace FuzzDecoder

#define FUZZ_DECODER(format) \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) \
    { \
        FuzzDecoder::Run(format, data, size); \
        return 0; \
    }
