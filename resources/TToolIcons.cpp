#include "resources/TToolIcons.h"

#include <QFile>
#include <QFont>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

// A symbol on a coloured tile.
QIcon Glyph(const QString &symbol, const QColor &tile)
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

} // namespace

QIcon TToolIcons::Themed(const QString &name)
{
    // Our drawing is made only where the theme lacks the name, and once for all windows.
    if (QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    static QHash<QString, QIcon> drawn;
    auto found = drawn.constFind(name);
    if (found == drawn.constEnd())
        found = drawn.insert(name, Own(name));
    return *found;
}

QIcon TToolIcons::Own(const QString &name)
{
    const QString path = QStringLiteral(":/icons/%1.svg").arg(name);
    if (!QFile::exists(path))
        return {};
    QSvgRenderer drawing(path);
    if (!drawing.isValid())
        return {};
    QIcon icon;
    // Drawn at each size rather than scaled, so that thin strokes stay sharp at 16 pixels.
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        drawing.render(&p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon TToolIcons::ProgramIcon(bool busy)
{
    return Glyph(QStringLiteral("ペ"), busy ? QColor(240, 150, 40) : QColor(230, 90, 140));
}
