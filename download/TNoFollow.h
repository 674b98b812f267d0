#pragma once

#include <QFile>
#include <QString>

// A job's own files (the partial and final names, the parts of a split file and the file they are
// joined into) are opened and renamed without following a symbolic link at their name: a link
// placed there would lead a download, or a merge, to a file outside the folder. The folders on the
// way may be links; only the last name is never followed.
namespace TNoFollow {

enum class TResult {
    Done,
    Missing, // nothing at the name (opening for reading only)
    Refused, // a symbolic link, or something other than a file or folder, holds the name
    Failed,  // the system's error, or the name taken by a file (renaming)
};

// Why a job may not use this name, as a sentence naming the file; empty when nothing refusable is
// there (missing, a file, a folder).
QString Refusal(const QString &path);

// Opens path as file in mode (ReadOnly, WriteOnly, ReadWrite, with Truncate or Append), creating it
// when writing; never a link, never anything but a regular file, and a fifo does not block the open.
// reason gets the refusal or the system's text. Opened from a descriptor, file has no name while open.
TResult Open(QFile &file, const QString &path, QIODevice::OpenMode mode, QString *reason);

// Renames from to to. Nothing at to is ever replaced or written through: a file there fails the
// rename, a link or a device there (or a link at from) refuses it.
TResult Move(const QString &from, const QString &to, QString *reason);

// The new content of a file, written under a temporary name beside it and renamed over it only by
// Commit, so a failure leaves the old file whole. A link at the name refuses the write, where
// QSaveFile would write the link's target.
class TSaveFile
{
public:
    explicit TSaveFile(const QString &target) : FTarget(target) {}
    // An uncommitted temporary file goes.
    ~TSaveFile();
    TSaveFile(const TSaveFile &) = delete;
    TSaveFile &operator=(const TSaveFile &) = delete;

    TResult Open(QString *reason);
    // Unbuffered, so that every failed write shows at once.
    QFile &File() { return FFile; }
    // Puts the written file in place of the target, whatever file was there.
    TResult Commit(QString *reason);

private:
    QString FTarget;
    QString FTemporary; // empty once renamed into place
    QFile FFile;
};

} // namespace TNoFollow
