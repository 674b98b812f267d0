#pragma once

#include <QByteArray>
#include <QString>

// Writing a user's file whole or not at all: a temporary file beside it, renamed over it at the end.
namespace TSafeFile {

// The text of a failed file operation: what, the file, and the system's reason.
QString ErrorText(const QString &what, const QString &fileName, const QString &reason);

// Writes bytes as the new content of fileName; on failure the old file stays whole and error says why.
bool Write(const QString &fileName, const QByteArray &bytes, QString *error);

} // namespace TSafeFile
