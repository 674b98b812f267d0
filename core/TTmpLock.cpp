#include "core/TTmpLock.h"

#include <QLockFile>

TTmpLock::TTmpLock() = default;

TTmpLock::~TTmpLock() = default;

QString TTmpLock::LockFile(const QString &programFolder)
{
    return programFolder + QStringLiteral("/tmp/.pelmor.lock");
}

void TTmpLock::Release()
{
    FLock.reset();
}

bool TTmpLock::Take(const QString &programFolder)
{
    auto lock = std::make_unique<QLockFile>(LockFile(programFolder));
    // A run may last for days: only a dead holder makes the lock stale, never its age.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        FLock = std::move(lock);
        FRefusal.clear();
        FHolder = 0;
        return true;
    }
    QString host, app;
    if (lock->error() != QLockFile::LockFailedError || !lock->getLockInfo(&FHolder, &host, &app))
        FHolder = 0;
    const QString tmp = programFolder + QStringLiteral("/tmp");
    FRefusal = FHolder > 0 ? QStringLiteral("%1 is in use by another pelmor (process %2)").arg(tmp).arg(FHolder)
                           : QStringLiteral("cannot lock %1").arg(tmp);
    return false;
}
