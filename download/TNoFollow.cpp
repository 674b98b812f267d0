#include "download/TNoFollow.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString &path)
{
    return QFile::encodeName(path);
}

int OpenFlags(QIODevice::OpenMode mode)
{
    int flags = O_RDONLY;
    if ((mode & QIODevice::ReadWrite) == QIODevice::ReadWrite)
        flags = O_RDWR | O_CREAT;
    else if (mode & QIODevice::WriteOnly)
        flags = O_WRONLY | O_CREAT;
    if (mode & QIODevice::Truncate)
        flags |= O_TRUNC;
    if (mode & QIODevice::Append)
        flags |= O_APPEND;
    // O_NONBLOCK: a fifo at the name must not hold the thread in open().
    return flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
}

TNoFollow::TResult Failure(int error, QString *reason)
{
    if (reason)
        *reason = qt_error_string(error);
    return TNoFollow::TResult::Failed;
}

// What may not be used at path, by what a stat found there; empty for a file or a folder.
QString RefusalFor(const QString &path, mode_t mode)
{
    if (S_ISREG(mode) || S_ISDIR(mode))
        return {};
    const QString name = QFileInfo(path).fileName();
    if (S_ISLNK(mode))
        return QStringLiteral("「%1」はシンボリックリンクです。").arg(name);
    return QStringLiteral("「%1」は通常のファイルではありません。").arg(name);
}

// True, with the refusal as the reason, when the name holds what may not be used.
bool Refused(const QString &path, QString *reason)
{
    const QString refusal = TNoFollow::Refusal(path);
    if (!refusal.isEmpty() && reason)
        *reason = refusal;
    return !refusal.isEmpty();
}

// The result of a failed open or rename: a refusal when the name holds what may not be used,
// otherwise the system's error.
TNoFollow::TResult Judge(const QString &path, int error, QString *reason)
{
    return Refused(path, reason) ? TNoFollow::TResult::Refused : Failure(error, reason);
}

} // namespace

QString TNoFollow::Refusal(const QString &path)
{
    struct stat st {};
    return ::lstat(Native(path).constData(), &st) == 0 ? RefusalFor(path, st.st_mode) : QString();
}

TNoFollow::TResult TNoFollow::Open(QFile &file, const QString &path, QIODevice::OpenMode mode, QString *reason)
{
    const int flags = OpenFlags(mode);
    const int fd = ::open(Native(path).constData(), flags, 0666);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT && !(flags & O_CREAT))
            return TResult::Missing;
        return Judge(path, error, reason);
    }
    struct stat st {};
    const int statError = ::fstat(fd, &st) == 0 ? 0 : errno;
    if (statError == 0 && S_ISREG(st.st_mode)) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        if (file.open(fd, mode & ~QIODevice::Truncate, QFileDevice::AutoCloseHandle))
            return TResult::Done;
        ::close(fd);
        if (reason)
            *reason = file.errorString();
        return TResult::Failed;
    }
    ::close(fd);
    if (statError != 0 || S_ISDIR(st.st_mode))
        return Failure(statError != 0 ? statError : EISDIR, reason);
    if (reason)
        *reason = RefusalFor(path, st.st_mode);
    return TResult::Refused;
}

TNoFollow::TResult TNoFollow::Move(const QString &from, const QString &to, QString *reason)
{
    if (Refused(from, reason) || Refused(to, reason))
        return TResult::Refused;
    const QByteArray source = Native(from), target = Native(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return TResult::Done;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP)
        return Judge(to, error, reason);
    // A file system without the no-replace rename: the name is checked first. rename() replaces
    // whatever appears meanwhile but never writes through it.
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0)
        return Judge(to, EEXIST, reason);
    if (::rename(source.constData(), target.constData()) == 0)
        return TResult::Done;
    return Failure(errno, reason);
}

TNoFollow::TSaveFile::~TSaveFile()
{
    if (FTemporary.isEmpty())
        return;
    FFile.close();
    ::unlink(Native(FTemporary).constData());
}

TNoFollow::TResult TNoFollow::TSaveFile::Open(QString *reason)
{
    if (Refused(FTarget, reason))
        return TResult::Refused;
    // O_EXCL: the temporary name is created here, never taken over from a link or a file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            FTarget + QStringLiteral(".%1").arg(QRandomGenerator::global()->bounded(1 << 24), 6, 16, QLatin1Char('0'));
        const int fd = ::open(Native(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return Failure(errno, reason);
        FTemporary = name;
        if (FFile.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
            return TResult::Done;
        ::close(fd);
        if (reason)
            *reason = FFile.errorString();
        return TResult::Failed;
    }
    return Failure(EEXIST, reason);
}

TNoFollow::TResult TNoFollow::TSaveFile::Commit(QString *reason)
{
    // On disk before the rename: a crash must not leave an empty file in place of the old one.
    const bool synced = ::fsync(FFile.handle()) == 0;
    const int error = errno;
    FFile.close();
    if (!synced)
        return Failure(error, reason);
    // A link put at the name meanwhile is refused rather than replaced.
    if (Refused(FTarget, reason))
        return TResult::Refused;
    if (::rename(Native(FTemporary).constData(), Native(FTarget).constData()) != 0)
        return Judge(FTarget, errno, reason);
    FTemporary.clear();
    return TResult::Done;
}
