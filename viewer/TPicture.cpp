#include "viewer/TPicture.h"

#include "viewer/TReaderLimit.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

EInvalidGraphic EInvalidGraphic::Unrecognised()
{
    return EInvalidGraphic("認識できない画像形式です");
}

const TGraphicClassInfo TBitmap::Class{"TBitmap", [] { return std::unique_ptr<TGraphic>(new TBitmap); }};

void TBitmap::LoadFromFile(const QString &FileName)
{
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("%1: %2").arg(FileName, file.errorString()).toStdString());
    LoadFromStream(file);
}

void TBitmap::LoadFromStream(QIODevice &Stream)
{
    Stream.seek(0);
    ReadBitmapFile(Stream.readAll());
}

void TBitmap::ReadBitmapFile(const QByteArray &FileImage)
{
    QImage image;
    TReaderLimit::Hold();
    if (!FileImage.startsWith("BM") || !image.loadFromData(FileImage, "BMP"))
        throw EInvalidGraphic::Unrecognised();
    FBitmap = image;
}

const TGraphicClassInfo TQtPicture::Class{"TQtPicture", [] { return std::unique_ptr<TGraphic>(new TQtPicture); }};

std::unique_ptr<QImageReader> TQtPicture::OpenReader(const QString &FileName)
{
    // The extension says which reader to try first; a file whose content says otherwise still reads.
    TReaderLimit::Hold();
    auto reader = std::make_unique<QImageReader>(FileName, QFileInfo(FileName).suffix().toLower().toLatin1());
    reader->setDecideFormatFromContent(true);
    reader->setAutoTransform(true);
    return reader;
}

void TQtPicture::LoadFromFile(const QString &FileName)
{
    QImage image = OpenReader(FileName)->read();
    if (image.isNull())
        throw EInvalidGraphic::Unrecognised();
    FBitmap = image;
}

TPictureFormats &TPictureFormats::Instance()
{
    static TPictureFormats formats;
    return formats;
}

TPictureFormats::TPictureFormats()
{
    Register(QStringLiteral("bmp"), QStringLiteral("Bitmaps"), &TBitmap::Class);
    for (const QByteArray &format : QImageReader::supportedImageFormats()) {
        const QString extension = QString::fromLatin1(format).toLower();
        if (extension != QLatin1String("bmp"))
            Register(extension, extension.toUpper(), &TQtPicture::Class);
    }
}

void TPictureFormats::Register(const QString &Extension, const QString &Description, TGraphicClass Class)
{
    FEntries.append({Extension.toLower(), Description, Class});
}

TGraphicClass TPictureFormats::Find(const QString &Extension) const
{
    const QString key = Extension.startsWith(QLatin1Char('.')) ? Extension.mid(1) : Extension;
    for (auto it = FEntries.crbegin(); it != FEntries.crend(); ++it)
        if (it->Extension.compare(key, Qt::CaseInsensitive) == 0)
            return it->Class;
    return nullptr;
}

QImage LoadPicture(const QString &FileName)
{
    const QString extension = QFileInfo(FileName).suffix();
    // A job whose URL ends in "/" or has no extension is saved without one: its content says what it is.
    TGraphicClass cls = extension.isEmpty() ? &TQtPicture::Class : TPictureFormats::Instance().Find(extension);
    if (!cls)
        throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(extension).toStdString());
    std::unique_ptr<TGraphic> picture = cls->Create();
    picture->LoadFromFile(FileName);
    return picture->Bitmap();
}
