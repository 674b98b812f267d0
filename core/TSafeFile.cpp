#include "core/TSafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

QString TSafeFile::ErrorText(const QString &what, const QString &fileName, const QString &reason)
{
    return QStringLiteral("%1 %2: %3").arg(what, QDir::toNativeSeparators(fileName), reason);
}

bool TSafeFile::WriteAll(QFileDevice &file, const char *data, qint64 size)
{
    for (qint64 done = 0; done < size;) {
        const qint64 wrote = file.write(data + done, size - done);
        if (wrote <= 0)
            return false;
        done += wrote;
    }
    return true;
}

bool TSafeFile::Write(const QString &fileName, const QByteArray &bytes, QString *error)
{
    // A first run may find no folder for the file yet. Unbuffered: a buffered last write that fails
    // is not reported by commit(), which would put a short file in place of the old one.
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && WriteAll(file, bytes.constData(), bytes.size())
        && file.commit())
        return true;
    if (error)
        *error = ErrorText(QStringLiteral("Cannot write"), fileName, file.errorString());
    return false;
}
