#include "TToolIcons.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

QIcon TToolIcons::Glyph(const QString &symbol, const QColor &tile)
{
    QIcon icon;
    for (const int size : {16, 24, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(tile.darker(140));
        p.setBrush(tile);
        p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 6.0, size / 6.0);
        QFont font = p.font();
        font.setPixelSize(size * 11 / 16);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, symbol);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
