#pragma once

#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QList>
#include <QString>

#include <memory>
#include <stdexcept>

// No picture class could read the data, or the file's extension is registered to none.
class EInvalidGraphic : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
    static EInvalidGraphic Unrecognised(); // "認識できない画像形式です"
};

// A picture of some format, read from a file into a bitmap.
class TGraphic
{
public:
    virtual ~TGraphic() = default;
    // Raises an exception (EInvalidGraphic or another) when the file cannot be read.
    virtual void LoadFromFile(const QString &FileName) = 0;
    // The picture as a bitmap; a null image when nothing is loaded.
    const QImage &Bitmap() const { return FBitmap; }

protected:
    QImage FBitmap;
};

// A picture class as the registry keeps it: a name and a way to make an object of it.
struct TGraphicClassInfo {
    const char *Name;
    std::unique_ptr<TGraphic> (*Create)();
};
using TGraphicClass = const TGraphicClassInfo *;

// The plain bitmap class: reads bitmap files only.
class TBitmap : public TGraphic
{
public:
    static const TGraphicClassInfo Class;
    void LoadFromFile(const QString &FileName) override;
    // Reads the whole device from its start as a bitmap file; EInvalidGraphic when it is none.
    virtual void LoadFromStream(QIODevice &Stream);
    // The base bitmap reader on a bitmap file image in memory.
    void ReadBitmapFile(const QByteArray &FileImage);
};

// The other formats the toolkit reads (JPEG, PNG, GIF, WebP, …), one class for all.
class TQtPicture : public TGraphic
{
public:
    static const TGraphicClassInfo Class;
    void LoadFromFile(const QString &FileName) override;
    // The reader LoadFromFile reads with, for callers that want a reduced size or the size alone;
    // it allocates no more than the viewer's picture limit.
    static std::unique_ptr<QImageReader> OpenReader(const QString &FileName);
};

// The process-wide registry of picture formats: extension (lower case, without the dot) to
// description and class. Lookups ignore case; the most recent registration of an extension wins.
class TPictureFormats
{
public:
    struct TEntry {
        QString Extension;
        QString Description;
        TGraphicClass Class;
    };

    // The one registry, with the toolkit's formats registered first ("bmp" before the others).
    static TPictureFormats &Instance();

    void Register(const QString &Extension, const QString &Description, TGraphicClass Class);
    // The class of the latest registration of Extension (with or without its dot); null for none.
    TGraphicClass Find(const QString &Extension) const;
    const QList<TEntry> &Entries() const { return FEntries; }

private:
    TPictureFormats();
    QList<TEntry> FEntries;
};

// Loads a picture file through the registry by its extension and returns it as a bitmap; a name
// without an extension goes to the toolkit's readers, which go by the content. An extension with no
// registration, or a file its class cannot read, raises an exception.
QImage LoadPicture(const QString &FileName);
