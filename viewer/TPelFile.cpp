#include "viewer/TPelFile.h"

#include "core/TSafeFile.h"
#include "viewer/TComponentStream.h"
#include "viewer/TIconGrid.h"

#include <QFile>

#include <string>

namespace {

const QByteArray IconListClass = "TImageList";
const QByteArray CaptionListClass = "TListBox";
// Where the two components sat in the window designer, and the hidden list's size: carried along.
constexpr int IconListLeft = 28, IconListTop = 32;
constexpr int CaptionListLeft = 84, CaptionListTop = 4, CaptionListWidth = 53, CaptionListHeight = 17;
constexpr int CaptionItemHeight = 12;
// The size an image list has when a file does not say.
constexpr int DefaultIconSize = 16;
// Far above any catalogue (ten thousand icons take some 130 MB); a bigger file is no catalogue.
constexpr qint64 MaxFileSize = qint64(1) << 30;

// Captions are file paths: stored as the file name's own bytes, so that every path reads back.
QByteArray CaptionBytes(const QString &Caption)
{
    return QFile::encodeName(Caption);
}
QString CaptionText(const QByteArray &Bytes)
{
    return QFile::decodeName(Bytes);
}

void WriteIconList(TComponentWriter &w, const TIconList &Icons)
{
    w.BeginRecord(IconListClass, "ImageListIcons");
    w.PropertyName("Height");
    w.Integer(TIconList::Height);
    w.PropertyName("Width");
    w.Integer(TIconList::Width);
    w.PropertyName("Left");
    w.Integer(IconListLeft);
    w.PropertyName("Top");
    w.Integer(IconListTop);
    if (Icons.Count() > 0) {
        w.PropertyName("Bitmap");
        w.Binary(TIconGrid::Pack(Icons));
    }
    w.EndRecord();
}

void WriteCaptionList(TComponentWriter &w, const QStringList &Captions)
{
    w.BeginRecord(CaptionListClass, "ListBoxIcon");
    for (const auto &[name, value] : {std::pair{"Left", CaptionListLeft},
                                      {"Top", CaptionListTop},
                                      {"Width", CaptionListWidth},
                                      {"Height", CaptionListHeight},
                                      {"ItemHeight", CaptionItemHeight}}) {
        w.PropertyName(name);
        w.Integer(value);
    }
    if (!Captions.isEmpty()) {
        w.PropertyName("Items.Strings");
        w.BeginList();
        for (const QString &caption : Captions)
            w.String(CaptionBytes(caption));
        w.EndList();
    }
    w.PropertyName("TabOrder");
    w.Integer(0);
    w.PropertyName("Visible");
    w.Boolean(false);
    w.EndRecord();
}

void BeginRecord(TComponentReader &r, const QByteArray &ClassName)
{
    QByteArray className, name;
    r.BeginRecord(className, name);
    if (className != ClassName)
        throw EPelFile("a component of class " + className.left(64).toStdString() + " where " + ClassName.toStdString()
                       + " belongs");
}

TIconList ReadIconList(TComponentReader &r)
{
    BeginRecord(r, IconListClass);
    int width = DefaultIconSize, height = DefaultIconSize;
    TIconList icons;
    QByteArray name;
    while (r.NextProperty(name)) {
        const TValueType type = r.ReadValueType();
        if (name == "Width")
            width = r.Integer(type);
        else if (name == "Height")
            height = r.Integer(type);
        else if (name == "Bitmap")
            icons = TIconGrid::Unpack(r.Binary(type));
        else
            r.SkipValue(type);
    }
    if (icons.Count() > 0 && (width != TIconList::Width || height != TIconList::Height))
        throw EPelFile("icons of " + std::to_string(width) + " by " + std::to_string(height) + " pixels, not 64 by 64");
    return icons;
}

QStringList ReadCaptionList(TComponentReader &r)
{
    BeginRecord(r, CaptionListClass);
    QStringList captions;
    QByteArray name;
    while (r.NextProperty(name)) {
        const TValueType type = r.ReadValueType();
        if (name != "Items.Strings") {
            r.SkipValue(type);
            continue;
        }
        if (type != vaList)
            throw EPelFile("the captions are not a list");
        captions.clear();
        for (TValueType item = r.ReadValueType(); item != vaNull; item = r.ReadValueType())
            captions.append(CaptionText(r.String(item)));
    }
    return captions;
}

} // namespace

namespace TPelFile {

QByteArray Write(const TIconList &Icons, const QStringList &Captions)
{
    QByteArray bytes;
    TComponentWriter w(bytes);
    WriteIconList(w, Icons);
    WriteCaptionList(w, Captions);
    return bytes;
}

void Read(const QByteArray &Bytes, TIconList &Icons, QStringList &Captions)
{
    TIconList icons;
    QStringList captions;
    try {
        TComponentReader r(Bytes);
        icons = ReadIconList(r);
        captions = ReadCaptionList(r);
    } catch (const EComponentStream &e) {
        throw EPelFile(e.what());
    } catch (const EIconGrid &e) {
        throw EPelFile(e.what());
    }
    std::swap(Icons, icons);
    std::swap(Captions, captions);
}

void Save(const QString &FileName, const TIconList &Icons, const QStringList &Captions)
{
    QString error;
    if (!TSafeFile::Write(FileName, Write(Icons, Captions), &error))
        throw EPelFile(error.toStdString());
}

void Load(const QString &FileName, TIconList &Icons, QStringList &Captions)
{
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EPelFile(TSafeFile::ErrorText(QStringLiteral("Cannot open"), FileName, file.errorString()).toStdString());
    if (file.size() > MaxFileSize)
        throw EPelFile(FileName.toStdString() + ": too large for a catalogue");
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EPelFile(TSafeFile::ErrorText(QStringLiteral("Cannot read"), FileName, file.errorString()).toStdString());
    try {
        Read(bytes, Icons, Captions);
    } catch (const EPelFile &e) {
        throw EPelFile(FileName.toStdString() + ": " + e.what());
    }
}

QString DefaultName(const QString &ListFileName)
{
    if (ListFileName.size() > 4 && ListFileName.right(4).toUpper() == QStringLiteral(".WST"))
        return ListFileName.chopped(4) + QStringLiteral(".pel");
    return {};
}

} // namespace TPelFile
