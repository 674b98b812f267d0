#include "viewer/TDibImage.h"

#include "viewer/PictureLimit.h"
#include "viewer/SusiePlugin.h"

#include <QString>

#include <cstring>

namespace {

constexpr uint64_t HeaderSize = sizeof(SusieBitmapInfoHeader);
constexpr uint64_t FileHeaderSize = 14;

[[noreturn]] void Fail(const QString &Why)
{
    throw EInvalidDib(QStringLiteral("The decoder handed back a broken picture: %1").arg(Why).toStdString());
}

void AppendLE(QByteArray &Out, uint64_t Value, int Bytes)
{
    for (int i = 0; i < Bytes; ++i)
        Out.append(char((Value >> (8 * i)) & 0xff));
}

bool KnownBitCount(unsigned Bits)
{
    return Bits == 1 || Bits == 4 || Bits == 8 || Bits == 16 || Bits == 24 || Bits == 32;
}

} // namespace

QByteArray DibToBitmapFile(const void *Info, size_t InfoSize, const void *Bits, size_t BitsSize)
{
    if (!Info || !Bits)
        Fail(QStringLiteral("a block cannot be locked"));
    if (InfoSize < HeaderSize)
        Fail(QStringLiteral("information block of %1 bytes").arg(InfoSize));
    SusieBitmapInfoHeader header;
    std::memcpy(&header, Info, sizeof header);
    if (header.biSize < HeaderSize || header.biSize > InfoSize)
        Fail(QStringLiteral("header size %1 in a block of %2 bytes").arg(header.biSize).arg(InfoSize));
    if (header.biWidth <= 0 || header.biHeight == 0)
        Fail(QStringLiteral("%1 x %2 pixels").arg(header.biWidth).arg(header.biHeight));
    if (!KnownBitCount(header.biBitCount))
        Fail(QStringLiteral("%1 bits per pixel").arg(header.biBitCount));
    if (header.biCompression != 0)
        Fail(QStringLiteral("compression %1").arg(header.biCompression));

    const uint64_t width = uint64_t(header.biWidth);
    const uint64_t height = uint64_t(header.biHeight < 0 ? -int64_t(header.biHeight) : int64_t(header.biHeight));
    // Only a picture the viewer takes, so that a lying header cannot make the file image below large.
    if (!PictureLimit::Fits(width, height))
        Fail(QStringLiteral("%1 x %2 pixels is too large").arg(width).arg(height));
    const uint64_t stride = (header.biBitCount * width + 31) / 32 * 4;
    const uint64_t imageSize = height * stride;

    uint64_t colours = header.biClrUsed;
    if (header.biBitCount <= 8) {
        if (colours == 0)
            colours = uint64_t(1) << header.biBitCount;
        else if (colours > (uint64_t(1) << header.biBitCount))
            Fail(QStringLiteral("%1 colours for %2 bits").arg(colours).arg(header.biBitCount));
    }
    const uint64_t tableSize = 4 * colours;
    if (header.biSize + tableSize > InfoSize)
        Fail(QStringLiteral("%1 colours in a block of %2 bytes").arg(colours).arg(InfoSize));
    if (imageSize > BitsSize)
        Fail(QStringLiteral("%1 bytes of pixels in a block of %2").arg(imageSize).arg(BitsSize));
    const uint64_t offset = FileHeaderSize + HeaderSize + tableSize;
    const uint64_t fileSize = offset + imageSize;

    // The reader gets a plain 40-byte header whatever the plug-in's was; the colours follow its header.
    const char *table = static_cast<const char *>(Info) + header.biSize;
    header.biSize = uint32_t(HeaderSize);
    header.biSizeImage = uint32_t(imageSize);
    QByteArray image;
    image.reserve(qsizetype(fileSize));
    image.append("BM", 2);
    AppendLE(image, fileSize, 4);
    AppendLE(image, 0, 4);
    AppendLE(image, offset, 4);
    image.append(reinterpret_cast<const char *>(&header), sizeof header);
    image.append(table, qsizetype(tableSize));
    image.append(static_cast<const char *>(Bits), qsizetype(imageSize));
    return image;
}
