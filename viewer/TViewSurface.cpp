#include "viewer/TViewSurface.h"

#include "viewer/TViewLogic.h"

#include <QPainter>

TViewSurface::TViewSurface(QWidget *parent) : QWidget(parent)
{
    setCursor(Qt::DragCopyCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TViewSurface::SetPicture(const QImage &Picture)
{
    FPicture = Picture;
    update();
}

QRect TViewSurface::TargetRect() const
{
    return TViewLogic::FitRect(FPicture.size(), size());
}

const QImage &TViewSurface::Fitted(QSize size)
{
    if (size == FPicture.size())
        return FPicture;
    if (FFittedKey != FPicture.cacheKey() || FFitted.size() != size) {
        FFitted = FPicture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        FFittedKey = FPicture.cacheKey();
        ++FScaleCount;
    }
    return FFitted;
}

void TViewSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const QRect target = TargetRect();
    if (!target.isEmpty())
        painter.drawImage(target.topLeft(), Fitted(target.size()));
}
