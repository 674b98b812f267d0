#include "tests/support/TempFolder.h"
#include "viewer/PictureLimit.h"
#include "viewer/SusiePlugin.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTransform>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <dlfcn.h>

namespace {

// One built decoder, its entry points, and the tool that writes its format.
struct TDecoderCase {
    const char *Name;
    const char *Library;
    const char *Tool;
    QStringList (*Arguments)(const QString &In, const QString &Out);
    const char *Pattern;
};

void PrintTo(const TDecoderCase &Case, std::ostream *out)
{
    *out << Case.Name;
}

const TDecoderCase Cases[] = {
    {"avif", PELMOR_AVIF_SPI, "avifenc",
     [](const QString &in, const QString &out) {
         return QStringList{"--lossless", in, out};
     },
     "*.avif"},
    {"jxl", PELMOR_JXL_SPI, "cjxl",
     [](const QString &in, const QString &out) {
         return QStringList{"-d", "0", in, out};
     },
     "*.jxl"},
};

// The picture written by Qt as PNG and turned into the decoder's format, lossless; empty when the
// tool is not installed.
QByteArray EncodeWith(const TDecoderCase &Case, const QImage &Image, const TTempFolder &Folder, const QString &Name,
                      const QStringList &Extra = {})
{
    const QString tool = QStandardPaths::findExecutable(Case.Tool);
    if (tool.isEmpty())
        return {};
    const QString png = Folder.file(Name + ".png"), out = Folder.file(Name + "." + Case.Name);
    EXPECT_TRUE(Image.save(png, "PNG"));
    QProcess encoder;
    encoder.setProcessChannelMode(QProcess::MergedChannels);
    encoder.start(tool, Extra + Case.Arguments(png, out));
    EXPECT_TRUE(encoder.waitForFinished(120000));
    EXPECT_EQ(encoder.exitCode(), 0) << encoder.readAll().constData();
    return Folder.read(Name + "." + Case.Name);
}

// The decoded bitmap read back (and both blocks freed), checking that it is bottom-up 24-bit.
QImage FromDib(HLOCAL Info, HLOCAL Pixels)
{
    EXPECT_EQ(LocalSize(Info), sizeof(SusieBitmapInfoHeader));
    const auto *header = static_cast<const SusieBitmapInfoHeader *>(LocalLock(Info));
    EXPECT_EQ(header->biSize, 40u);
    EXPECT_EQ(header->biBitCount, 24);
    EXPECT_EQ(header->biCompression, 0u);
    const int W = header->biWidth, H = header->biHeight;
    const size_t stride = (size_t(W) * 3 + 3) / 4 * 4;
    EXPECT_EQ(LocalSize(Pixels), stride * size_t(H));
    const auto *rows = static_cast<const uint8_t *>(LocalLock(Pixels));
    QImage image(W, H, QImage::Format_RGB32);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint8_t *p = rows + size_t(H - 1 - y) * stride + size_t(x) * 3;
            image.setPixel(x, y, qRgb(p[2], p[1], p[0]));
        }
    LocalUnlock(Info);
    LocalUnlock(Pixels);
    EXPECT_EQ(LocalFree(Info), 0u);
    EXPECT_EQ(LocalFree(Pixels), 0u);
    return image;
}

// What the viewer should see: alpha laid onto white.
QImage OverWhite(const QImage &Source)
{
    QImage image(Source.size(), QImage::Format_RGB32);
    auto white = [](int c, int a) { return (c * a + 255 * (255 - a) + 127) / 255; };
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = Source.pixel(x, y);
            image.setPixel(x, y,
                           qRgb(white(qRed(p), qAlpha(p)), white(qGreen(p), qAlpha(p)), white(qBlue(p), qAlpha(p))));
        }
    return image;
}

struct TProgressLog {
    std::vector<std::pair<int32_t, int32_t>> Calls;
    int32_t Answer = 0;
};

int32_t Record(int32_t done, int32_t total, intptr_t user)
{
    auto *log = reinterpret_cast<TProgressLog *>(user);
    log->Calls.emplace_back(done, total);
    return log->Answer;
}

// A built plug-in loaded as the host loads it, with its four entry points.
struct TPlugin {
    explicit TPlugin(const char *Library) : Module(dlopen(Library, RTLD_NOW | RTLD_LOCAL))
    {
        EXPECT_NE(Module, nullptr) << dlerror();
        if (!Module)
            return;
        PluginInfo = reinterpret_cast<SusieGetPluginInfo>(dlsym(Module, "GetPluginInfo"));
        Supported = reinterpret_cast<SusieIsSupported>(dlsym(Module, "IsSupported"));
        PictureInfo = reinterpret_cast<SusieGetPictureInfo>(dlsym(Module, "GetPictureInfo"));
        Picture = reinterpret_cast<SusieGetPicture>(dlsym(Module, "GetPicture"));
    }
    ~TPlugin()
    {
        if (Module)
            dlclose(Module);
    }
    bool Loaded() const { return PluginInfo && Supported && PictureInfo && Picture; }

    void *Module;
    SusieGetPluginInfo PluginInfo = nullptr;
    SusieIsSupported Supported = nullptr;
    SusieGetPictureInfo PictureInfo = nullptr;
    SusieGetPicture Picture = nullptr;
};

class SusieDecoder : public testing::TestWithParam<TDecoderCase>, protected TPlugin
{
protected:
    SusieDecoder() : TPlugin(GetParam().Library) {}
    void SetUp() override { ASSERT_TRUE(Loaded()); }

    QByteArray Encode(const QImage &Image, const char *Name) { return EncodeWith(GetParam(), Image, Folder, Name); }

    // The host's call: at least 2048 readable bytes for the signature test, zero-padded.
    bool IsSupported(const QByteArray &File)
    {
        QByteArray padded = File;
        if (padded.size() < 2048)
            padded.resize(2048, '\0');
        return Supported("picture", padded.constData()) != 0;
    }

    // GetPicture on exactly the file's bytes, so a read past its end shows under the sanitizers.
    int32_t Decode(const QByteArray &File, HLOCAL &Info, HLOCAL &Pixels, TProgressLog &Log, uint32_t Flag = 1)
    {
        std::vector<char> exact(File.begin(), File.end());
        return Picture(exact.data(), int32_t(exact.size()), Flag, &Info, &Pixels, Record, intptr_t(&Log));
    }

    TTempFolder Folder;
};

#define ENCODE_OR_SKIP(var, image, name) \
    const QByteArray var = Encode(image, name); \
    if (var.isEmpty()) \
        GTEST_SKIP() << GetParam().Tool << " is not installed";

// Sets Count bits from bit At on, least significant first, as JPEG XL packs its headers.
void SetBits(QByteArray &Bytes, int At, int Count, uint32_t Value)
{
    for (int i = 0; i < Count; ++i, ++At) {
        const int bit = 1 << (At % 8);
        Bytes[At / 8] = char(Value >> i & 1 ? Bytes[At / 8] | bit : Bytes[At / 8] & ~bit);
    }
}

QSize InfoSize(const TPlugin &Plugin, const QByteArray &File, int32_t *Result)
{
    SusiePictureInfo info{};
    *Result = Plugin.PictureInfo(File.constData(), int32_t(File.size()), 1, &info);
    return QSize(info.width, info.height);
}

QImage Sample(QImage::Format Format)
{
    QImage image(7, 5, QImage::Format_ARGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            image.setPixel(x, y, qRgba(36 * x, 60 * y, (x * y * 20) % 256, x == 0 ? 0 : 255 - 9 * x * y));
    return image.convertToFormat(Format);
}

} // namespace

TEST_P(SusieDecoder, AnswersInformationNumbers)
{
    char buf[255];
    EXPECT_EQ(PluginInfo(0, buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "00IN");
    EXPECT_GT(PluginInfo(1, buf, sizeof buf), 0);
    EXPECT_GT(PluginInfo(2, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, GetParam().Pattern);
    EXPECT_GT(PluginInfo(3, buf, sizeof buf), 0);
    EXPECT_EQ(PluginInfo(99, buf, sizeof buf), 0);
    EXPECT_EQ(PluginInfo(-1, buf, sizeof buf), 0);
    // A short buffer gets what fits, terminated.
    EXPECT_EQ(PluginInfo(0, buf, 3), 2);
    EXPECT_STREQ(buf, "00");
}

// Lossless files of known pixels decode to a bottom-up 24-bit bitmap with those pixels, alpha laid
// onto white; grey pictures come out as grey colours; progress runs from 0 to the height.
TEST_P(SusieDecoder, DecodesKnownPixelsIntoBottomUpBitmap)
{
    for (const QImage::Format format : {QImage::Format_ARGB32, QImage::Format_RGB32, QImage::Format_Grayscale8}) {
        SCOPED_TRACE(testing::Message() << "format " << int(format));
        const QImage source = Sample(format);
        ENCODE_OR_SKIP(file, source, "sample");
        EXPECT_TRUE(IsSupported(file));

        SusiePictureInfo info{};
        ASSERT_EQ(PictureInfo(file.constData(), int32_t(file.size()), 1, &info), 0);
        // Copies: the record is packed, and a test macro binds references to what it compares.
        EXPECT_EQ(int32_t(info.width), 7);
        EXPECT_EQ(int32_t(info.height), 5);
        EXPECT_EQ(int16_t(info.colorDepth), 24);
        EXPECT_EQ(HLOCAL(info.hInfo), 0u);

        HLOCAL infoBlock = 0, pixelBlock = 0;
        TProgressLog log;
        ASSERT_EQ(Decode(file, infoBlock, pixelBlock, log), 0);
        EXPECT_EQ(FromDib(infoBlock, pixelBlock), OverWhite(source));
        ASSERT_FALSE(log.Calls.empty());
        EXPECT_EQ(log.Calls.front(), std::make_pair(0, 5));
        EXPECT_EQ(log.Calls.back(), std::make_pair(5, 5));
    }
}

// Whatever is wrong with the input, the result is non-zero and no block is handed back.
TEST_P(SusieDecoder, RefusesDamagedInput)
{
    ENCODE_OR_SKIP(file, Sample(QImage::Format_ARGB32), "sample");
    QByteArray garbage = file;
    for (qsizetype i = 40; i < garbage.size(); i += 3)
        garbage[i] = char(garbage[i] ^ 0x5a);
    const std::pair<const char *, QByteArray> cases[] = {
        {"truncated", file.left(file.size() / 2)},
        {"header only", file.left(16)},
        {"scrambled", garbage},
        {"not a picture", QByteArray(300, 'x')},
    };
    for (const auto &[what, bytes] : cases) {
        HLOCAL info = 1, pixels = 1;
        TProgressLog log;
        EXPECT_NE(Decode(bytes, info, pixels, log), 0) << what;
        EXPECT_EQ(info, 0u) << what;
        EXPECT_EQ(pixels, 0u) << what;
    }
    EXPECT_FALSE(IsSupported(QByteArray(300, 'x')));
    SusiePictureInfo info{};
    EXPECT_NE(PictureInfo(file.constData(), 4, 1, &info), 0) << "headers cut short";

    // Only data in memory is read; a file name (flag 0) and an empty block are not.
    HLOCAL a = 0, b = 0;
    TProgressLog log;
    EXPECT_NE(Decode(file, a, b, log, 0), 0);
    EXPECT_NE(Picture(file.constData(), 0, 1, &a, &b, nullptr, 0), 0);
    EXPECT_EQ(a | b, 0u);

    // The progress routine asking to stop ends the decoding with nothing handed back.
    log.Answer = 1;
    EXPECT_EQ(Decode(file, a, b, log), 1);
    EXPECT_EQ(a | b, 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, SusieDecoder, testing::ValuesIn(Cases),
                         [](const testing::TestParamInfo<TDecoderCase> &p) { return std::string(p.param.Name); });

// Each decoder knows only its own files; an AVIF header announcing more pixels than the viewer's
// limit is refused before anything is decoded, one at the limit is taken.
TEST(SusieDecoders, SignaturesAndSizeCap)
{
    TTempFolder folder;
    QByteArray avif = EncodeWith(Cases[0], Sample(QImage::Format_RGB32), folder, "s");
    QByteArray jxl = EncodeWith(Cases[1], Sample(QImage::Format_RGB32), folder, "s");
    if (avif.isEmpty() || jxl.isEmpty())
        GTEST_SKIP() << "avifenc or cjxl is not installed";
    avif.resize(std::max<qsizetype>(avif.size(), 2048), '\0');
    jxl.resize(std::max<qsizetype>(jxl.size(), 2048), '\0');

    const TPlugin avifPlugin(PELMOR_AVIF_SPI), jxlPlugin(PELMOR_JXL_SPI);
    ASSERT_TRUE(avifPlugin.Loaded() && jxlPlugin.Loaded());
    EXPECT_NE(avifPlugin.Supported("", avif.constData()), 0);
    EXPECT_EQ(avifPlugin.Supported("", jxl.constData()), 0);
    EXPECT_NE(jxlPlugin.Supported("", jxl.constData()), 0);
    EXPECT_EQ(jxlPlugin.Supported("", avif.constData()), 0);

    // The size the file announces: 8192 by 8192 is the viewer's limit; 8193 by 8192 is within the
    // library's own default limit but beyond the viewer's.
    const qsizetype ispe = avif.indexOf("ispe");
    ASSERT_GT(ispe, 0);
    const auto sized = [&](uint32_t Width, uint32_t Height) {
        QByteArray bytes = avif;
        for (const auto &[at, side] : {std::pair(ispe + 8, Width), std::pair(ispe + 12, Height)}) {
            const char big[4] = {char(side >> 24), char(side >> 16), char(side >> 8), char(side)};
            bytes.replace(at, 4, big, 4);
        }
        return bytes;
    };
    int32_t result = -1;
    EXPECT_EQ(InfoSize(avifPlugin, sized(8192, 8192), &result), QSize(8192, 8192));
    EXPECT_EQ(result, 0);
    InfoSize(avifPlugin, sized(8193, 8192), &result);
    EXPECT_NE(result, 0);
}

// Catches a decoder that takes a picture on by a limit of its own, or that goes on to decode before it
// looks at the size: a JPEG XL of a few hundred bytes announcing one row more than the viewer's limit
// is refused from its header, while one exactly at the limit is still taken.
TEST(SusieDecoders, JxlBeyondThePictureLimitIsRefusedBeforeDecoding)
{
    TTempFolder folder;
    QImage tall(8, 8200, QImage::Format_Grayscale8);
    tall.fill(90);
    // A picture this tall has its height written in 18 bits and its width in 9: room for 512 x 131073.
    const QByteArray file = EncodeWith(Cases[1], tall, folder, "tall");
    if (file.isEmpty())
        GTEST_SKIP() << "cjxl is not installed";
    ASSERT_TRUE(file.startsWith("\xff\x0a")) << "a bare codestream";
    // After the signature: a flag, the height less one (2 selector bits, 18 bits), the ratio (3 bits),
    // the width less one (2 selector bits, 9 bits).
    constexpr int HeightAt = 16 + 1 + 2, WidthAt = HeightAt + 18 + 3 + 2;
    const auto sized = [&](uint32_t Width, uint32_t Height) {
        QByteArray bytes = file;
        SetBits(bytes, HeightAt, 18, Height - 1);
        SetBits(bytes, WidthAt, 9, Width - 1);
        return bytes;
    };
    static_assert(512 * 131072 == PictureLimit::MaxPixels);
    const TPlugin plugin(PELMOR_JXL_SPI);
    ASSERT_TRUE(plugin.Loaded());
    int32_t result = -1;
    ASSERT_EQ(InfoSize(plugin, sized(8, 8200), &result), QSize(8, 8200)) << "the fields are where they are sought";
    EXPECT_EQ(InfoSize(plugin, sized(512, 131072), &result), QSize(512, 131072));
    EXPECT_EQ(result, 0) << "the largest picture the viewer shows";

    // Out of memory, the answer for a picture too large, given from the header: a decoder that read on
    // would fail on the frames, which were written for a smaller picture, with another answer.
    const QByteArray beyond = sized(512, 131073);
    InfoSize(plugin, beyond, &result);
    EXPECT_EQ(result, 4);
    HLOCAL info = 1, pixels = 1;
    EXPECT_EQ(plugin.Picture(beyond.constData(), int32_t(beyond.size()), 1, &info, &pixels, nullptr, 0), 4);
    EXPECT_EQ(info | pixels, 0u);
}

// The file's turn and mirror apply before the picture is shown, and the size reported follows them.
TEST(SusieDecoders, AvifTurnsAndMirrorsAsTheFileSays)
{
    TTempFolder folder;
    const TPlugin plugin(PELMOR_AVIF_SPI);
    ASSERT_TRUE(plugin.Loaded());
    const QImage source = Sample(QImage::Format_RGB32);
    const struct {
        QStringList Options;
        QImage Shown;
    } cases[] = {
        {{"--irot", "1", "--imir", "0"}, source.transformed(QTransform().rotate(-90)).mirrored(false, true)},
        {{"--irot", "2"}, source.transformed(QTransform().rotate(180))},
        {{"--irot", "3", "--imir", "1"}, source.transformed(QTransform().rotate(90)).mirrored(true, false)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Options.join(' ').toStdString());
        const QByteArray file = EncodeWith(Cases[0], source, folder, "turned", c.Options);
        if (file.isEmpty())
            GTEST_SKIP() << "avifenc is not installed";
        SusiePictureInfo size{};
        ASSERT_EQ(plugin.PictureInfo(file.constData(), int32_t(file.size()), 1, &size), 0);
        EXPECT_EQ(QSize(size.width, size.height), c.Shown.size());
        HLOCAL a = 0, b = 0;
        ASSERT_EQ(plugin.Picture(file.constData(), int32_t(file.size()), 1, &a, &b, nullptr, 0), 0);
        EXPECT_EQ(FromDib(a, b), c.Shown.convertToFormat(QImage::Format_RGB32));
    }
}
