#include "viewer/TCatalogueBuild.h"

#include "viewer/TIconMaker.h"
#include "viewer/TPicture.h"
#include "viewer/ViewerLog.h"

#include <QFileInfo>

namespace {

// A reader's size in the picture's own orientation, once the file's turn is applied.
QSize ShownSize(QImageReader &Reader, QSize Stored)
{
    return Reader.transformation() & QImageIOHandler::TransformationRotate90 ? Stored.transposed() : Stored;
}

// The toolkit's readers at a reduced size (a JPEG is then decoded at a fraction of its size). Null
// when this path cannot tell the size, so that the plain path decides.
QImage IconAtReducedSize(const QString &FileName)
{
    const std::unique_ptr<QImageReader> reader = TQtPicture::OpenReader(FileName);
    const QSize stored = reader->size();
    if (!stored.isValid() || stored.isEmpty())
        return {};
    const QSize shown = ShownSize(*reader, stored);
    const QRect target = TIconMaker::IconRect(shown);
    if (target.isEmpty())
        return {};
    reader->setScaledSize(shown == stored ? target.size() : target.size().transposed());
    return TIconMaker::MakeIcon(reader->read(), shown);
}

} // namespace

namespace TCatalogueBuild {

QImage IconOfFile(const QString &FileName)
{
    const QString extension = QFileInfo(FileName).suffix();
    if (!extension.isEmpty() && TPictureFormats::Instance().Find(extension) == &TQtPicture::Class) {
        const QImage icon = IconAtReducedSize(FileName);
        if (!icon.isNull())
            return icon;
    }
    try {
        return TIconMaker::MakeIcon(LoadPicture(FileName));
    } catch (const std::exception &e) {
        qCWarning(lcViewer, "no icon of %s: %s", qUtf8Printable(FileName), e.what());
        return {};
    }
}

void Build(const QStringList &Files, TIconList &Icons, QStringList &Captions)
{
    for (const QString &file : Files) {
        const QImage icon = IconOfFile(file);
        if (icon.isNull())
            continue;
        Icons.Add(icon);
        Captions.append(file);
    }
}

} // namespace TCatalogueBuild
