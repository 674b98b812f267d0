#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Writing a user's file whole or not at all: a temporary file beside it, renamed over it at the end.
namespace TSafeFile {

// The text of a failed file operation: what, the file, and the system's reason.
QString ErrorText(const QString &what, const QString &fileName, const QString &reason);

// Writes all size bytes. A full disk first takes part of a write and only refuses the next one, with
// the system's reason: a short write alone leaves the device without one ("Unknown error").
bool WriteAll(QFileDevice &file, const char *data, qint64 size);

// Writes bytes as the new content of fileName; on failure the old file stays whole and error says why.
bool Write(const QString &fileName, const QByteArray &bytes, QString *error);

} // namespace TSafeFile
