#pragma once

#include <QIcon>
#include <QString>

// Tool-button pictures: the desktop theme's icon where it has one, else our own drawing.
namespace TToolIcons {
// The theme's icon of this freedesktop name, falling back to the SVG of the same name in our resources
// (drawn once per name; the GUI thread only).
QIcon Themed(const QString &name);
// Our own SVG picture of this name alone, drawn at the usual toolbar sizes; null if there is none.
QIcon Own(const QString &name);
// The program's mark: every window's icon, the tray's picture and the logo beside the toolbar. The
// busy one takes turns with it in the tray while fetching is on.
QIcon ProgramIcon(bool busy = false);
} // namespace TToolIcons
