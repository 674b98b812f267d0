#pragma once

// The bitmap picture class that decodes through the plug-ins of the current collection, and the
// companion that does the trying.

#include "viewer/SPIs.h"
#include "viewer/TPicture.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>

// What GetPictureInfo told about the picture, with the text of its comment block.
struct TPictureInfoRec {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    uint16_t XDensity = 0;
    uint16_t YDensity = 0;
    int16_t ColorDepth = 0;
    HLOCAL Info = 0;
    QString Comment;
};

// Tries the decoders on data in memory for its owner, which lends it three routines of its own.
class TInSPIAble
{
public:
    static constexpr const char *NativeExtension = "BMP";

    // The load under way: the extension with its dot and the full name; empty for a nameless stream.
    QString Extension;
    QString FileName;
    bool MacBinary = true;
    // The record of the last GetPictureInfo of this load that succeeded.
    TPictureInfoRec PictureInfo;

    // The owner's own bitmap reader on a stream.
    std::function<void(QIODevice &)> LoadStreamBase;
    // Hands a decoded picture (information block, pixel block) to the owner.
    std::function<void(const void *Info, size_t InfoSize, const void *Bits, size_t BitsSize)> AcceptDib;

    // Decodes the whole stream from its first byte; EInvalidGraphic when nothing reads it. Errors of a
    // plug-in or of the hand-over are passed on.
    void LoadFromStream(QIODevice &Stream);

private:
    bool TryBaseReader(const QByteArray &Data);
    bool TryPlugins(const QByteArray &Data);
    bool TryDecoder(const TInSPI &SPI, const char *Data, size_t Length);
    bool TryOnce(const TInSPI &SPI, const char *Data, size_t Length);
    void ReadPictureInfo(const SusiePictureInfo &Info);
};

// A bitmap that plug-ins can decode; the class the decoders' extensions are registered under.
class TSPIBitmap : public TBitmap
{
public:
    static const TGraphicClassInfo Class;

    TSPIBitmap();
    TSPIBitmap(const TSPIBitmap &Source);
    // Takes the picture and MacBinary.
    TSPIBitmap &operator=(const TSPIBitmap &Source);

    // When a decoder fails, it is tried once more 128 bytes into the data (past a MacBinary header).
    bool MacBinary = true;

    void LoadFromFile(const QString &FileName) override;
    void LoadFromStream(QIODevice &Stream) override;
    void LoadFromStreamNamed(QIODevice &Stream, const QString &FileName);

    const TInSPIAble &InSPIAble() const { return FInSPIAble; }

private:
    void Wire();

    TInSPIAble FInSPIAble;
};
