#include "resources/TRowIcons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int Size = 16;

void DrawCheck(QPainter &p)
{
    p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath check;
    check.moveTo(4.5, 8.5);
    check.lineTo(7.0, 11.0);
    check.lineTo(11.5, 5.0);
    p.drawPath(check);
}

QImage Draw(int imageIndex)
{
    QImage image(Size, Size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disk(1.5, 1.5, 13, 13);
    switch (imageIndex) {
    case TRowIcons::Complete: // green disk, white tick
        p.setPen(QPen(QColor(0, 100, 0), 1));
        p.setBrush(QColor(30, 160, 60));
        p.drawEllipse(disk);
        DrawCheck(p);
        break;
    case TRowIcons::PartComplete: // teal square, white tick: one part of a split file
        p.setPen(QPen(QColor(0, 80, 90), 1));
        p.setBrush(QColor(0, 150, 170));
        p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2, 2);
        DrawCheck(p);
        break;
    case TRowIcons::Partly: // blue ring, half filled
        p.setPen(QPen(QColor(20, 70, 180), 1.5));
        p.setBrush(Qt::white);
        p.drawEllipse(disk);
        p.setBrush(QColor(40, 100, 220));
        p.drawPie(disk, 90 * 16, 180 * 16);
        break;
    case TRowIcons::Running: { // orange arrow pointing down
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(240, 130, 0));
        QPainterPath arrow;
        arrow.addRect(5.5, 1.0, 5, 7);
        arrow.moveTo(1.5, 8.0);
        arrow.lineTo(14.5, 8.0);
        arrow.lineTo(8.0, 15.0);
        arrow.closeSubpath();
        p.drawPath(arrow.simplified());
        break;
    }
    default: // not started: grey outline
        p.setPen(QPen(QColor(150, 150, 150), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
        break;
    }
    return image;
}

} // namespace

QImage TRowIcons::Image(int imageIndex)
{
    // Drawn once per index; the view asks for every visible row on each repaint.
    static QHash<int, QImage> cache;
    auto it = cache.find(imageIndex);
    if (it == cache.end())
        it = cache.insert(imageIndex, Draw(imageIndex));
    return *it;
}
