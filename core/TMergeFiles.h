#pragma once

#include <QString>
#include <QStringList>

// Joins the part files of a split download into the whole file.
namespace TMergeFiles {

// Copies the existing sources, in order, into target; missing sources are skipped. The target is
// written beside itself and renamed into place only when every byte got there, so a read or write
// error is reported (false, with the reason) instead of leaving a short file. sha256, when given,
// gets the whole file's SHA-256 (64 lower-case hex digits), hashed as it is written.
bool Merge(const QStringList &sources, const QString &target, QString *error, QByteArray *sha256 = nullptr);

} // namespace TMergeFiles
