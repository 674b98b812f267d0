#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// The bytes of the file at path; "<missing>" when it cannot be read, so that a missing file never
// passes for an empty one.
QByteArray ReadFileOrMissing(const QString &path);

// A scratch folder per test, removed when the test ends.
class TTempFolder
{
public:
    TTempFolder();
    QString path() const { return FDir.path(); }
    QString file(const QString &name) const { return FDir.filePath(name); }
    QString write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;

private:
    QTemporaryDir FDir;
};
