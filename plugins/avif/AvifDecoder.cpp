// AVIF pictures (still images and the first frame of sequences) through libavif.
#include "plugins/common/SusieDecoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <avif/avif.h>

namespace {

using namespace SusieDecoder;

const char *const Info[] = {"00IN",    "AVIF decoder for Pelmor (libavif)",
                            "*.avif",  "AVIF picture",
                            "*.avifs", "AVIF picture sequence"};

// Enough frames for any sequence someone shows as one picture; the limit keeps a forged sample
// table from growing the parse without bound.
constexpr uint32_t MaxFrames = 1u << 14;

struct TAvifDecoderDelete {
    void operator()(avifDecoder *Decoder) const { avifDecoderDestroy(Decoder); }
};
using TAvifDecoderPtr = std::unique_ptr<avifDecoder, TAvifDecoderDelete>;

uint32_t BigEndian32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

bool AvifBrand(const uint8_t *Brand)
{
    return std::memcmp(Brand, "avif", 4) == 0 || std::memcmp(Brand, "avis", 4) == 0;
}

// An ISO media file whose ftyp box names the AVIF brand, as major brand or among the compatible ones
// (after the minor version).
bool Signature(const uint8_t *Data)
{
    if (std::memcmp(Data + 4, "ftyp", 4) != 0)
        return false;
    if (AvifBrand(Data + 8))
        return true;
    const uint32_t boxSize = std::min<uint32_t>(BigEndian32(Data), 2048);
    for (uint32_t at = 16; at + 4 <= boxSize; at += 4)
        if (AvifBrand(Data + at))
            return true;
    return false;
}

TResult Parse(const uint8_t *Data, size_t Length, TAvifDecoderPtr &Decoder)
{
    Decoder.reset(avifDecoderCreate());
    if (!Decoder)
        return NoMemory;
    Decoder->maxThreads = int(Threads());
    Decoder->imageSizeLimit = uint32_t(PictureLimit::MaxPixels);
    Decoder->imageCountLimit = MaxFrames;
    Decoder->ignoreExif = AVIF_TRUE;
    Decoder->ignoreXMP = AVIF_TRUE;
    // Files from other writers often miss boxes the strict reading insists on; the pixels are sound.
    Decoder->strictFlags = AVIF_STRICT_DISABLED;
    if (avifDecoderSetIOMemory(Decoder.get(), Data, Length) != AVIF_RESULT_OK)
        return InternalError;
    const avifResult parsed = avifDecoderParse(Decoder.get());
    if (parsed == AVIF_RESULT_OUT_OF_MEMORY)
        return NoMemory;
    if (parsed != AVIF_RESULT_OK)
        return Broken;
    return PictureLimit::Fits(Decoder->image->width, Decoder->image->height) ? Success : NoMemory;
}

// Quarter turns anti-clockwise that the file asks for before showing the picture.
int Quarters(const avifImage *Image)
{
    return (Image->transformFlags & AVIF_TRANSFORM_IROT) ? Image->irot.angle & 3 : 0;
}

// The picture as the file means it to be shown: turned first, then mirrored (0 exchanges top and
// bottom, 1 left and right).
void Orient(TDecoded &Picture, const avifImage *Image)
{
    for (int turn = 0; turn < Quarters(Image); ++turn) {
        const size_t W = Picture.Width, H = Picture.Height;
        std::vector<uint32_t> turned(Picture.Rgba.size());
        for (size_t y = 0; y < W; ++y)
            for (size_t x = 0; x < H; ++x)
                turned[y * H + x] = Picture.Rgba[x * W + (W - 1 - y)];
        Picture.Rgba.swap(turned);
        std::swap(Picture.Width, Picture.Height);
    }
    if (!(Image->transformFlags & AVIF_TRANSFORM_IMIR))
        return;
    uint32_t *rows = Picture.Rgba.data();
    const size_t W = Picture.Width, H = Picture.Height;
    if (Image->imir.mode == 0)
        for (size_t y = 0; y < H / 2; ++y)
            std::swap_ranges(rows + y * W, rows + (y + 1) * W, rows + (H - 1 - y) * W);
    else
        for (size_t y = 0; y < H; ++y)
            std::reverse(rows + y * W, rows + (y + 1) * W);
}

TResult ReadSize(const uint8_t *Data, size_t Length, uint32_t &Width, uint32_t &Height)
{
    TAvifDecoderPtr decoder;
    const TResult result = Parse(Data, Length, decoder);
    if (result == Success) {
        const bool turned = Quarters(decoder->image) % 2 == 1;
        Width = turned ? decoder->image->height : decoder->image->width;
        Height = turned ? decoder->image->width : decoder->image->height;
    }
    return result;
}

TResult Decode(const uint8_t *Data, size_t Length, TDecoded &Picture)
{
    TAvifDecoderPtr decoder;
    if (const TResult result = Parse(Data, Length, decoder); result != Success)
        return result;
    if (avifDecoderNextImage(decoder.get()) != AVIF_RESULT_OK)
        return Broken;
    const avifImage *image = decoder->image;
    // A frame whose size differs from the one the headers announced is not what was checked.
    if (!PictureLimit::Fits(image->width, image->height))
        return NoMemory;
    Picture.Width = image->width;
    Picture.Height = image->height;
    Picture.Rgba.resize(size_t(image->width) * image->height);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.format = AVIF_RGB_FORMAT_RGBA;
    rgb.depth = 8;
    rgb.alphaPremultiplied = AVIF_FALSE;
    rgb.pixels = reinterpret_cast<uint8_t *>(Picture.Rgba.data());
    rgb.rowBytes = image->width * 4;
    if (avifImageYUVToRGB(image, &rgb) != AVIF_RESULT_OK)
        return Broken;
    Orient(Picture, image);
    return Success;
}

} // namespace

const SusieDecoder::TSusieFormat SusieDecoder::AvifFormat{Info, int(std::size(Info)), Signature, ReadSize, Decode};

SUSIE_DECODER_ENTRY_POINTS(SusieDecoder::AvifFormat)
