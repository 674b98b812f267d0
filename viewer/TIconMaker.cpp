#include "viewer/TIconMaker.h"

#include "viewer/TIconList.h"
#include "viewer/TViewLogic.h"

#include <QPainter>

namespace TIconMaker {

QRect IconRect(QSize picture)
{
    return TViewLogic::FitRect(picture, QSize(TIconList::Width, TIconList::Height));
}

QImage MakeIcon(const QImage &picture)
{
    return MakeIcon(picture, picture.size());
}

QImage MakeIcon(const QImage &picture, QSize original)
{
    if (picture.width() <= 0 || picture.height() <= 0)
        return {};
    const QRect target = IconRect(original);
    if (target.isNull())
        return {};
    QImage icon(TIconList::Width, TIconList::Height, QImage::Format_RGB32);
    icon.fill(Qt::white);
    // A sliver of a picture (a band less than a pixel high) leaves the blank icon, still an icon.
    if (target.isEmpty())
        return icon;
    // Scaling once to the target size is far cheaper than letting the painter filter a huge picture.
    const QImage scaled = picture.size() == target.size()
                              ? picture
                              : picture.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&icon);
    painter.drawImage(target.topLeft(), scaled);
    return icon;
}

} // namespace TIconMaker
