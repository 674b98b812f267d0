// JPEG XL pictures (bare codestreams and the container; the first frame of animations) through libjxl.
#include "plugins/common/SusieDecoder.h"

#include <algorithm>
#include <memory>

#include <jxl/decode.h>
#include <jxl/resizable_parallel_runner.h>

namespace {

using namespace SusieDecoder;

const char *const Info[] = {"00IN", "JPEG XL decoder for Pelmor (libjxl)", "*.jxl", "JPEG XL picture"};

struct TJxlDelete {
    void operator()(JxlDecoder *Decoder) const { JxlDecoderDestroy(Decoder); }
    void operator()(void *Runner) const { JxlResizableParallelRunnerDestroy(Runner); }
};

bool Signature(const uint8_t *Data)
{
    const JxlSignature kind = JxlSignatureCheck(Data, 12);
    return kind == JXL_SIG_CODESTREAM || kind == JXL_SIG_CONTAINER;
}

// The size as shown: orientations 5 to 8 turn the picture a quarter, which the decoder applies.
void ShownSize(const JxlBasicInfo &Basic, uint32_t &Width, uint32_t &Height)
{
    const bool turned = Basic.orientation >= JXL_ORIENT_TRANSPOSE;
    Width = turned ? Basic.ysize : Basic.xsize;
    Height = turned ? Basic.xsize : Basic.ysize;
}

// Runs the decoder over the whole input; Picture null reads the headers only.
TResult Run(const uint8_t *Data, size_t Length, uint32_t &Width, uint32_t &Height, TDecoded *Picture)
{
    std::unique_ptr<JxlDecoder, TJxlDelete> decoder(JxlDecoderCreate(nullptr));
    if (!decoder)
        return NoMemory;
    JxlDecoder *dec = decoder.get();
    // The runner goes in before decoding starts; its thread count once the size is known.
    std::unique_ptr<void, TJxlDelete> runner;
    if (Picture) {
        runner.reset(JxlResizableParallelRunnerCreate(nullptr));
        if (!runner || JxlDecoderSetParallelRunner(dec, JxlResizableParallelRunner, runner.get()) != JXL_DEC_SUCCESS)
            return NoMemory;
    }
    const int events = JXL_DEC_BASIC_INFO | (Picture ? JXL_DEC_FULL_IMAGE : 0);
    if (JxlDecoderSubscribeEvents(dec, events) != JXL_DEC_SUCCESS
        || JxlDecoderSetUnpremultiplyAlpha(dec, JXL_TRUE) != JXL_DEC_SUCCESS
        || JxlDecoderSetInput(dec, Data, Length) != JXL_DEC_SUCCESS)
        return InternalError;
    JxlDecoderCloseInput(dec);
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    for (;;) {
        switch (JxlDecoderProcessInput(dec)) {
        case JXL_DEC_BASIC_INFO: {
            JxlBasicInfo basic;
            if (JxlDecoderGetBasicInfo(dec, &basic) != JXL_DEC_SUCCESS)
                return Broken;
            ShownSize(basic, Width, Height);
            if (!PictureLimit::Fits(Width, Height))
                return NoMemory;
            if (!Picture)
                return Success;
            JxlResizableParallelRunnerSetThreads(
                runner.get(),
                std::min<size_t>(Threads(), JxlResizableParallelRunnerSuggestThreads(basic.xsize, basic.ysize)));
            break;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            size_t bytes = 0;
            if (!Picture || JxlDecoderImageOutBufferSize(dec, &format, &bytes) != JXL_DEC_SUCCESS
                || bytes != size_t(Width) * Height * 4)
                return Broken;
            Picture->Width = Width;
            Picture->Height = Height;
            Picture->Rgba.resize(bytes / 4);
            if (JxlDecoderSetImageOutBuffer(dec, &format, Picture->Rgba.data(), bytes) != JXL_DEC_SUCCESS)
                return Broken;
            break;
        }
        case JXL_DEC_FULL_IMAGE:
            return Success; // the first frame is the picture
        case JXL_DEC_SUCCESS:
        case JXL_DEC_NEED_MORE_INPUT:
        case JXL_DEC_ERROR:
            return Broken;
        default:
            break; // events not subscribed to are not delivered; anything else is passed over
        }
    }
}

TResult ReadSize(const uint8_t *Data, size_t Length, uint32_t &Width, uint32_t &Height)
{
    return Run(Data, Length, Width, Height, nullptr);
}

TResult Decode(const uint8_t *Data, size_t Length, TDecoded &Picture)
{
    uint32_t width = 0, height = 0;
    return Run(Data, Length, width, height, &Picture);
}

} // namespace

const SusieDecoder::TSusieFormat SusieDecoder::JxlFormat{Info, int(std::size(Info)), Signature, ReadSize, Decode};

SUSIE_DECODER_ENTRY_POINTS(SusieDecoder::JxlFormat)
