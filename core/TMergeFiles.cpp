#include "core/TMergeFiles.h"

#include "core/TSafeFile.h"
#include "download/TNoFollow.h"
#include "download/TSha256.h"

#include <QFile>

namespace {

// Large blocks: small writes cost several times as much on a slow disk.
constexpr qint64 BlockSize = qint64(1) << 20;

bool Fail(QString *error, const QString &what, const QString &fileName, const QString &reason)
{
    if (error)
        *error = TSafeFile::ErrorText(what, fileName, reason);
    return false;
}

} // namespace

bool TMergeFiles::Merge(const QStringList &sources, const QString &target, QString *error, QByteArray *sha256)
{
    TSha256 hash;
    // Neither a part nor the whole file is reached through a link at its name.
    QString reason;
    TNoFollow::TSaveFile out(target);
    if (out.Open(&reason) != TNoFollow::TResult::Done)
        return Fail(error, QStringLiteral("Cannot write"), target, reason);
    QByteArray block(BlockSize, Qt::Uninitialized);
    for (const QString &source : sources) {
        QFile in;
        const TNoFollow::TResult opened = TNoFollow::Open(in, source, QIODevice::ReadOnly, &reason);
        if (opened == TNoFollow::TResult::Missing)
            continue;
        if (opened != TNoFollow::TResult::Done)
            return Fail(error, QStringLiteral("Cannot read"), source, reason);
        for (;;) {
            const qint64 got = in.read(block.data(), BlockSize);
            if (got < 0)
                return Fail(error, QStringLiteral("Cannot read"), source, in.errorString());
            if (got == 0)
                break;
            if (!TSafeFile::WriteAll(out.File(), block.constData(), got))
                return Fail(error, QStringLiteral("Cannot write"), target, out.File().errorString());
            if (sha256)
                hash.Add(block.constData(), got);
        }
    }
    // Until this commit the target is untouched; an early return discards the temporary file.
    if (out.Commit(&reason) != TNoFollow::TResult::Done)
        return Fail(error, QStringLiteral("Cannot write"), target, reason);
    if (sha256)
        *sha256 = hash.HexResult();
    return true;
}
