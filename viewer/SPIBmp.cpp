#include "viewer/SPIBmp.h"

#include "viewer/TDibImage.h"
#include "viewer/ViewerLog.h"

#include <QBuffer>
#include <QFileInfo>

#include <cstring>
#include <limits>
#include <vector>

const TGraphicClassInfo TSPIBitmap::Class{"TSPIBitmap", [] { return std::unique_ptr<TGraphic>(new TSPIBitmap); }};

namespace {

TGraphicClass DefaultGraphicClass = &TSPIBitmap::Class;

// Decoders may read this far into the data whatever its length.
constexpr size_t MinimumReadable = 2048;
constexpr size_t MacBinaryHeader = 128;

int32_t Progress(int32_t, int32_t, intptr_t)
{
    return 0;
}

// A block a plug-in handed over, locked while this lives, then unlocked and freed.
struct TLockedBlock {
    explicit TLockedBlock(HLOCAL AHandle)
        : Handle(AHandle), Data(static_cast<const char *>(LocalLock(AHandle))), Size(Data ? LocalSize(AHandle) : 0)
    {
    }
    ~TLockedBlock()
    {
        if (Data)
            LocalUnlock(Handle);
        LocalFree(Handle);
    }
    TLockedBlock(const TLockedBlock &) = delete;
    TLockedBlock &operator=(const TLockedBlock &) = delete;

    HLOCAL Handle;
    const char *Data;
    size_t Size;
};

// The names of one load, cleared when it ends however it ends.
struct TLoadNames {
    TLoadNames(TInSPIAble &AInSPIAble, const QString &FileName) : InSPIAble(AInSPIAble)
    {
        InSPIAble.Extension = ExtractFileExt(FileName);
        InSPIAble.FileName = FileName;
    }
    ~TLoadNames()
    {
        InSPIAble.Extension.clear();
        InSPIAble.FileName.clear();
    }
    TLoadNames(const TLoadNames &) = delete;
    TLoadNames &operator=(const TLoadNames &) = delete;

    TInSPIAble &InSPIAble;
};

} // namespace

TGraphicClass SPIDefaultGraphicClass()
{
    return DefaultGraphicClass;
}

void SetSPIDefaultGraphicClass(TGraphicClass Class)
{
    DefaultGraphicClass = Class;
}

void TInSPIAble::LoadFromStream(QIODevice &Stream)
{
    PictureInfo = TPictureInfoRec();
    // Read once; every decoder gets the same bytes.
    QByteArray data;
    if (const auto *buffer = qobject_cast<const QBuffer *>(&Stream)) {
        data = buffer->data();
    } else {
        if (!Stream.isSequential())
            Stream.seek(0);
        data = Stream.readAll();
    }
    const bool nativeFirst = Extension.isEmpty()
                             || Extension.mid(1).compare(QLatin1String(NativeExtension), Qt::CaseInsensitive) == 0;
    const bool read = nativeFirst ? TryBaseReader(data) || TryPlugins(data) : TryPlugins(data) || TryBaseReader(data);
    if (!read)
        throw EInvalidGraphic::Unrecognised();
}

bool TInSPIAble::TryBaseReader(const QByteArray &Data)
{
    QBuffer buffer;
    buffer.setData(Data);
    buffer.open(QIODevice::ReadOnly);
    try {
        LoadStreamBase(buffer);
        return true;
    } catch (const std::exception &e) {
        // The plug-ins may still read it; their refusal alone would hide this reason.
        qCDebug(lcViewer, "the built-in reader refused the picture: %s", e.what());
        return false;
    }
}

bool TInSPIAble::TryPlugins(const QByteArray &Data)
{
    const TSPIs *spis = TSPIs::Current();
    // The decoders take the length as a 32-bit number.
    if (!spis || Data.size() > std::numeric_limits<int32_t>::max())
        return false;
    for (const TInSPI *spi : spis->GetSupportedList<TInSPI>(Extension))
        if (TryDecoder(*spi, Data.constData(), size_t(Data.size())))
            return true;
    return false;
}

bool TInSPIAble::TryDecoder(const TInSPI &SPI, const char *Data, size_t Length)
{
    if (TryOnce(SPI, Data, Length))
        return true;
    return MacBinary && Length > MacBinaryHeader && TryOnce(SPI, Data + MacBinaryHeader, Length - MacBinaryHeader);
}

bool TInSPIAble::TryOnce(const TInSPI &SPI, const char *Data, size_t Length)
{
    std::vector<char> padded;
    const char *address = Data;
    if (Length < MinimumReadable) {
        padded.assign(MinimumReadable, 0);
        std::memcpy(padded.data(), Data, Length);
        address = padded.data();
    }
    if (SPI.IsSupported(FileName, address) == 0)
        return false;
    SusiePictureInfo info{};
    if (SPI.GetPictureInfo(address, int32_t(Length), 1, info) == 0)
        ReadPictureInfo(info);
    HLOCAL infoHandle = 0;
    HLOCAL bitsHandle = 0;
    if (SPI.GetPicture(address, int32_t(Length), 1, infoHandle, bitsHandle, Progress, reinterpret_cast<intptr_t>(this))
        != 0)
        return false;
    const TLockedBlock infoBlock(infoHandle);
    const TLockedBlock bitsBlock(bitsHandle);
    AcceptDib(infoBlock.Data, infoBlock.Size, bitsBlock.Data, bitsBlock.Size);
    return true;
}

void TInSPIAble::ReadPictureInfo(const SusiePictureInfo &Info)
{
    PictureInfo = TPictureInfoRec{Info.left,      Info.top,        Info.width, Info.height, Info.x_density,
                                  Info.y_density, Info.colorDepth, Info.hInfo, QString()};
    if (Info.hInfo == 0)
        return;
    // A comment that cannot be locked is no comment; the picture itself may still be fine.
    const TLockedBlock comment(Info.hInfo);
    if (comment.Data)
        PictureInfo.Comment = QString::fromLocal8Bit(comment.Data, qsizetype(strnlen(comment.Data, comment.Size)));
}

TSPIBitmap::TSPIBitmap()
{
    Wire();
}

TSPIBitmap::TSPIBitmap(const TSPIBitmap &Source) : TBitmap(Source), MacBinary(Source.MacBinary)
{
    Wire();
}

TSPIBitmap &TSPIBitmap::operator=(const TSPIBitmap &Source)
{
    FBitmap = Source.FBitmap;
    MacBinary = Source.MacBinary;
    return *this;
}

void TSPIBitmap::Wire()
{
    FInSPIAble.LoadStreamBase = [this](QIODevice &Stream) { TBitmap::LoadFromStream(Stream); };
    FInSPIAble.AcceptDib = [this](const void *Info, size_t InfoSize, const void *Bits, size_t BitsSize) {
        ReadBitmapFile(DibToBitmapFile(Info, InfoSize, Bits, BitsSize));
    };
}

void TSPIBitmap::LoadFromFile(const QString &FileName)
{
    const TLoadNames names(FInSPIAble, QFileInfo(FileName).absoluteFilePath());
    TBitmap::LoadFromFile(FileName);
}

void TSPIBitmap::LoadFromStream(QIODevice &Stream)
{
    FInSPIAble.MacBinary = MacBinary;
    FInSPIAble.LoadFromStream(Stream);
}

void TSPIBitmap::LoadFromStreamNamed(QIODevice &Stream, const QString &FileName)
{
    const TLoadNames names(FInSPIAble, FileName);
    LoadFromStream(Stream);
}
