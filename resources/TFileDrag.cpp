#include "resources/TFileDrag.h"

#include <QDrag>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace TFileDrag {

void OfferCopy(QWidget *Source, const QStringList &Files)
{
    auto *mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString &file : Files)
        urls.append(QUrl::fromLocalFile(file));
    mime->setUrls(urls);
    auto *drag = new QDrag(Source);
    drag->setMimeData(mime);
    drag->exec(Qt::CopyAction);
}

QString DraggedLinks(const QMimeData &Mime)
{
    QStringList links;
    for (const QUrl &url : Mime.urls())
        if (!url.isLocalFile() && !url.scheme().isEmpty())
            links.append(url.toString());
    return links.join(QLatin1Char('\n'));
}

} // namespace TFileDrag
