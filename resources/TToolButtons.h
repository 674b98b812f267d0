#pragma once

#include <QColor>
#include <QString>

class QToolBar;
class QToolButton;

namespace TToolButtons {
// Appends a button with a glyph picture and its hint.
QToolButton *Add(QToolBar *bar, const QString &symbol, const QColor &tile, const QString &hint);
}
