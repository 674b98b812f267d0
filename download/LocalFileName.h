#pragma once

#include <QString>

// The local file of a job, as every part of the program must agree on it: the long or short name
// rule, with a fallback for URLs whose name would be empty or unusable as a file name, and the part
// text of a split job appended.
namespace LocalFileName {

QString For(const QString &folder, const QString &url, bool longNames, const QString &div = QString());

// The name used when the naming rule gives nothing usable: the URL flattened like the long form,
// with every character that is unsafe in a file name replaced by "_"; one too long for a file name is
// cut and ends in a digest of the URL and the extension of the URL's path, when that is safe.
QString Fallback(const QString &folder, const QString &url);

} // namespace LocalFileName
