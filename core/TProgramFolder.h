#pragma once

#include <QString>

// The program folder, below which downloads go into "tmp".
namespace TProgramFolder {

// The folder given on the command line; else the executable's folder when it is writable and not an
// installed program's; else the user's data folder. Always with "/" separators and no trailing "/".
QString Resolve(const QString &overrideFolder);

// Where an installed program keeps its decoder plug-ins, relative to its own folder (bin/../lib/pelmor).
QString InstalledPluginFolder(const QString &programFolder);

enum class TTmpState { Existed, Created, Failed };
// Makes "<folder>/tmp" when it is missing.
TTmpState PrepareTmp(const QString &folder);

} // namespace TProgramFolder
