#pragma once

#include <QString>

class QToolBar;
class QToolButton;

namespace TToolButtons {
// Appends a button with the icon of this freedesktop (or our own) name and its hint.
QToolButton *Add(QToolBar *bar, const QString &iconName, const QString &hint);
} // namespace TToolButtons
