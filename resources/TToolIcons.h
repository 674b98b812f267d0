#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// Tool-button pictures: the desktop theme's icon where it has one, else our own drawing.
namespace TToolIcons {
// The theme's icon of this freedesktop name, falling back to the SVG of the same name in our resources
// (drawn once per name; the GUI thread only).
QIcon Themed(const QString &name);
// Our own SVG picture of this name alone, drawn at the usual toolbar sizes; null if there is none.
QIcon Own(const QString &name);
// A symbol on a coloured tile: the program's mark in the tray and beside the toolbar.
QIcon Glyph(const QString &symbol, const QColor &tile);
}
