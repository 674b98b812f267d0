#include "core/Brdcast.h"

#include "core/BaseLog.h"
#include "core/CaughtText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QUrl>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// False when the path does not fit a Unix socket address.
bool SocketAddress(const QString &path, sockaddr_un &address)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.size() >= static_cast<int>(sizeof(address.sun_path)))
        return false;
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, native.constData(), native.size());
    return true;
}

// A folder only this user can enter. An existing one must be a real folder of ours: in a shared
// temporary folder another user could have planted it, or a link, first.
bool MakePrivateFolder(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info;
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    return (info.st_mode & 07777) == 0700 || ::chmod(native.constData(), 0700) == 0;
}

bool IsSocket(const char *path)
{
    struct stat info;
    return ::lstat(path, &info) == 0 && S_ISSOCK(info.st_mode);
}

} // namespace

TBroadcast::TBroadcast(QObject *parent) : QObject(parent) {}

TBroadcast::~TBroadcast()
{
    Unregister();
}

QString TBroadcast::UserRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return runtime;
    const QString own = QDir::tempPath() + QStringLiteral("/pelmor-") + QString::number(::geteuid());
    return MakePrivateFolder(own) ? own : QString();
}

QString TBroadcast::KeyFolder(const QString &Key)
{
    const QString base = UserRuntimeFolder();
    if (Key.isEmpty() || base.isEmpty())
        return {};
    // Dots are encoded as well, so that no key can name "." or "..".
    const QString folder = base + QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(Key, {}, "."));
    return MakePrivateFolder(folder) ? folder : QString();
}

void TBroadcast::SetKey(const QString &Key)
{
    Unregister();
    FKey = Key;
    if (!FKey.isEmpty())
        Register();
}

void TBroadcast::Register()
{
    static std::atomic<int> serial{0};
    const QString folder = KeyFolder(FKey);
    const QString path = folder + QLatin1Char('/') + QString::number(::getpid()) + QLatin1Char('.')
                         + QString::number(++serial);
    sockaddr_un address;
    if (folder.isEmpty() || !SocketAddress(path, address))
        return;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    // A socket of this name can only be the leftover of an ended process that had our number.
    ::unlink(address.sun_path);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return;
    }
    FSocket = fd;
    FSocketPath = path;
    FNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] { ReadMessages(); });
}

void TBroadcast::Unregister()
{
    delete FNotifier;
    FNotifier = nullptr;
    if (FSocket < 0)
        return;
    ::unlink(QFile::encodeName(FSocketPath).constData());
    ::close(FSocket);
    FSocket = -1;
    FSocketPath.clear();
}

void TBroadcast::ReadMessages()
{
    const QByteArray expected = FKey.toUtf8();
    // One byte more than the key, so that a longer message cannot pass for it.
    QByteArray buffer(expected.size() + 1, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::recv(FSocket, buffer.data(), buffer.size(), 0);
        if (got < 0)
            return;
        if (!EnableInput || !OnBroadcastMsg || QByteArrayView(buffer.constData(), got) != expected)
            continue;
        // Nothing may escape into the event loop. One message per call: the handler may change
        // the key, and the notifier calls again for what is still queued.
        try {
            OnBroadcastMsg(this);
        } catch (...) {
            qCWarning(lcBase, "a broadcast handler raised: %s", qUtf8Printable(CaughtText()));
        }
        return;
    }
}

int TBroadcast::Broadcast()
{
    const QString folder = KeyFolder(FKey);
    if (!EnableOutput || folder.isEmpty())
        return 0;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    const QByteArray message = FKey.toUtf8();
    int reached = 0;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString path = dir.filePath(name);
        sockaddr_un address;
        if (path == FSocketPath || !SocketAddress(path, address) || !IsSocket(address.sun_path))
            continue;
        const bool sent = ::sendto(fd, message.constData(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr *>(&address), sizeof(address))
                          >= 0;
        // A full queue still counts: that listener has messages waiting and will read the block.
        if (sent || errno == EAGAIN)
            ++reached;
        else if (errno == ECONNREFUSED)
            ::unlink(address.sun_path); // nobody holds it: left by a program that ended abruptly
    }
    ::close(fd);
    return reached;
}
