#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// Tool-button pictures: a symbol on a coloured tile, readable at toolbar size.
namespace TToolIcons {
QIcon Glyph(const QString &symbol, const QColor &tile);
}
