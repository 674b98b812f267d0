#include "plugins/common/SusieDecoder.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>
#include <utility>

namespace SusieDecoder {

namespace {

constexpr uint32_t InMemory = 1; // the only input the host uses: the whole file at Buf
constexpr int ProgressSteps = 16;

// Nothing may leave an entry point as an exception.
template <typename F>
int32_t Guarded(F &&body)
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return NoMemory;
    } catch (...) {
        return InternalError;
    }
}

// A block handed to the host; freed here unless Release() was called.
struct TLocalBlock {
    HLOCAL Handle = 0;
    explicit TLocalBlock(size_t Bytes) : Handle(LocalAlloc(LHND, Bytes)) {}
    ~TLocalBlock()
    {
        if (Handle)
            LocalFree(Handle);
    }
    HLOCAL Release() { return std::exchange(Handle, 0); }
};

uint8_t OverWhite(uint8_t Colour, uint8_t Alpha)
{
    return uint8_t((Colour * Alpha + 255 * (255 - Alpha) + 127) / 255);
}

// Rows bottom-up, blue-green-red, alpha laid onto white (as the viewer shows a picture's background).
void FillRows(const TDecoded &Picture, uint8_t *Rows, size_t Stride, SusieProgressCallback Progress, intptr_t UserValue,
              bool &Cancel)
{
    const uint32_t W = Picture.Width, H = Picture.Height;
    const uint32_t every = std::max<uint32_t>(1, H / ProgressSteps);
    for (uint32_t y = 0; y < H && !Cancel; ++y) {
        const auto *src = reinterpret_cast<const uint8_t *>(Picture.Rgba.data() + size_t(y) * W);
        uint8_t *dst = Rows + size_t(H - 1 - y) * Stride;
        for (uint32_t x = 0; x < W; ++x, src += 4, dst += 3) {
            dst[0] = OverWhite(src[2], src[3]);
            dst[1] = OverWhite(src[1], src[3]);
            dst[2] = OverWhite(src[0], src[3]);
        }
        if (Progress && ((y + 1) % every == 0 || y + 1 == H))
            Cancel = Progress(int32_t(y + 1), int32_t(H), UserValue) != 0;
    }
}

bool MemoryInput(const char *Buf, int32_t Length, uint32_t Flag)
{
    return (Flag & 7) == InMemory && Buf && Length > 0;
}

} // namespace

unsigned Threads()
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

int32_t GetPluginInfo(const TSusieFormat &Format, int32_t InfoNumber, char *Buf, int32_t BufLength)
{
    if (InfoNumber < 0 || InfoNumber >= Format.InfoCount || !Buf || BufLength <= 0)
        return 0;
    const size_t length = std::min(std::strlen(Format.Info[InfoNumber]), size_t(BufLength - 1));
    std::memcpy(Buf, Format.Info[InfoNumber], length);
    Buf[length] = '\0';
    return int32_t(length);
}

int32_t IsSupported(const TSusieFormat &Format, const char *, const void *Address)
{
    return Address && Format.Signature(static_cast<const uint8_t *>(Address)) ? 1 : 0;
}

int32_t GetPictureInfo(const TSusieFormat &Format, const char *Buf, int32_t Length, uint32_t Flag,
                       SusiePictureInfo *Info)
{
    if (!Info)
        return InternalError;
    if (!MemoryInput(Buf, Length, Flag))
        return NotImplemented;
    return Guarded([&] {
        uint32_t width = 0, height = 0;
        const TResult result = Format.ReadSize(reinterpret_cast<const uint8_t *>(Buf), size_t(Length), width, height);
        if (result != Success)
            return int32_t(result);
        if (!PictureLimit::Fits(width, height))
            return int32_t(NoMemory);
        *Info = SusiePictureInfo{0, 0, int32_t(width), int32_t(height), 0, 0, 24, 0};
        return int32_t(Success);
    });
}

int32_t GetPicture(const TSusieFormat &Format, const char *Buf, int32_t Length, uint32_t Flag, HLOCAL *BitmapInfo,
                   HLOCAL *Bitmap, SusieProgressCallback Progress, intptr_t UserValue)
{
    if (!BitmapInfo || !Bitmap)
        return InternalError;
    *BitmapInfo = *Bitmap = 0;
    if (!MemoryInput(Buf, Length, Flag))
        return NotImplemented;
    return Guarded([&] {
        TDecoded picture;
        const TResult result = Format.Decode(reinterpret_cast<const uint8_t *>(Buf), size_t(Length), picture);
        if (result != Success)
            return int32_t(result);
        if (!PictureLimit::Fits(picture.Width, picture.Height)
            || picture.Rgba.size() != size_t(picture.Width) * picture.Height)
            return int32_t(InternalError);
        // Progress counts rows of the bitmap being built, from 0 of the height.
        if (Progress && Progress(0, int32_t(picture.Height), UserValue) != 0)
            return int32_t(Cancelled);

        const size_t stride = (size_t(picture.Width) * 24 + 31) / 32 * 4;
        const size_t image = stride * picture.Height;
        TLocalBlock info(sizeof(SusieBitmapInfoHeader)), rows(image);
        if (!info.Handle || !rows.Handle)
            return int32_t(NoMemory);
        auto *header = static_cast<SusieBitmapInfoHeader *>(LocalLock(info.Handle));
        auto *pixels = static_cast<uint8_t *>(LocalLock(rows.Handle));
        bool cancel = false;
        if (header && pixels) {
            *header = SusieBitmapInfoHeader{sizeof(SusieBitmapInfoHeader),
                                            int32_t(picture.Width),
                                            int32_t(picture.Height),
                                            1,
                                            24,
                                            0,
                                            uint32_t(image),
                                            0,
                                            0,
                                            0,
                                            0};
            FillRows(picture, pixels, stride, Progress, UserValue, cancel);
        }
        LocalUnlock(info.Handle);
        LocalUnlock(rows.Handle);
        if (!header || !pixels)
            return int32_t(InternalError);
        if (cancel)
            return int32_t(Cancelled);
        *BitmapInfo = info.Release();
        *Bitmap = rows.Release();
        return int32_t(Success);
    });
}

} // namespace SusieDecoder
