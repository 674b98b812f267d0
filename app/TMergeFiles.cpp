#include "TMergeFiles.h"

#include "TSafeFile.h"

#include <QFile>
#include <QSaveFile>

namespace {

// Large blocks: small writes cost several times as much on a slow disk.
constexpr qint64 BlockSize = qint64(1) << 20;

bool Fail(QString *error, const QString &what, const QFileDevice &file)
{
    if (error)
        *error = TSafeFile::ErrorText(what, file.fileName(), file.errorString());
    return false;
}

} // namespace

bool TMergeFiles::Merge(const QStringList &sources, const QString &target, QString *error)
{
    // Unbuffered: an error in a buffered tail flushed by commit() would go unnoticed.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Fail(error, QStringLiteral("Cannot write"), out);
    QByteArray block(BlockSize, Qt::Uninitialized);
    for (const QString &source : sources) {
        QFile in(source);
        if (!in.exists())
            continue;
        if (!in.open(QIODevice::ReadOnly))
            return Fail(error, QStringLiteral("Cannot read"), in);
        for (;;) {
            const qint64 got = in.read(block.data(), BlockSize);
            if (got < 0)
                return Fail(error, QStringLiteral("Cannot read"), in);
            if (got == 0)
                break;
            if (!TSafeFile::WriteAll(out, block.constData(), got))
                return Fail(error, QStringLiteral("Cannot write"), out);
        }
    }
    // Until this commit the target is untouched; an early return discards the temporary file.
    if (!out.commit())
        return Fail(error, QStringLiteral("Cannot write"), out);
    return true;
}
