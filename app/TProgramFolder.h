#pragma once

#include <QString>

// The program folder, below which downloads go into "tmp".
namespace TProgramFolder {

// The folder given on the command line; else the executable's folder when it is writable; else the
// user's data folder. Always with "/" separators and no trailing "/".
QString Resolve(const QString &overrideFolder);

enum class TTmpState { Existed, Created, Failed };
// Makes "<folder>/tmp" when it is missing.
TTmpState PrepareTmp(const QString &folder);

} // namespace TProgramFolder
