#include "viewer/TIconList.h"

#include <QPainter>

void TIconList::Add(const QImage &image, const QImage &mask)
{
    QImage icon(Width, Height, QImage::Format_RGB32);
    icon.fill(Qt::white);
    {
        QPainter painter(&icon);
        painter.drawImage(0, 0, image, 0, 0, Width, Height);
    }
    QImage iconMask(Width, Height, QImage::Format_MonoLSB);
    iconMask.fill(0);
    if (!mask.isNull()) {
        const QImage source = mask.convertToFormat(QImage::Format_MonoLSB);
        for (int y = 0; y < std::min(Height, source.height()); ++y)
            for (int x = 0; x < std::min(Width, source.width()); ++x)
                iconMask.setPixel(x, y, source.pixelIndex(x, y));
    }
    FImages.append(icon);
    FMasks.append(iconMask);
}

void TIconList::Clear()
{
    FImages.clear();
    FMasks.clear();
}
