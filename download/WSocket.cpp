#include "download/WSocket.h"

#include "core/CaughtText.h"
#include "download/NetLog.h"
#include "download/TcpNoDelay.h"
#include "download/TlsSession.h"
#include "download/WSocketErrors.h"

#include <QHostAddress>
#include <QHostInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Read notifications handled in one go before the thread's other events get a turn.
constexpr int MaxReadRounds = 64;

struct TLookupHookSlot {
    std::mutex mutex;
    TWSocket::TLookupHook hook;
    // Far above the ids the resolver hands out, so the two never meet.
    int nextId = 1 << 30;
};

TLookupHookSlot &lookupHookSlot()
{
    static TLookupHookSlot slot;
    return slot;
}

bool ClosesOnSendError(int code)
{
    return code == 10022 || code == 10038 || code == 10053 || code == 10054 || code == 10057;
}
} // namespace

void TWSocket::SetLookupHook(TLookupHook hook)
{
    std::lock_guard lock(lookupHookSlot().mutex);
    lookupHookSlot().hook = std::move(hook);
}

TWSocket::TWSocket(QObject *parent)
    : QObject(parent)
    , FReadNotifier(QSocketNotifier::Read, this)
    , FWriteNotifier(QSocketNotifier::Write, this)
    , FReadResume(this)
{
    FReadResume.setSingleShot(true);
    FReadResume.setTimerType(Qt::PreciseTimer);
    connect(&FReadResume, &QTimer::timeout, this, [this] { Guarded([this] { ResumeReading(); }); });
    connect(&FReadNotifier, &QSocketNotifier::activated, this, [this] { Guarded([this] { ReadReady(); }); });
    connect(&FWriteNotifier, &QSocketNotifier::activated, this, [this] { Guarded([this] { WriteReady(); }); });
}

TWSocket::~TWSocket()
{
    FDestroying = true;
    CancelDnsLookup();
    InternalClose(false, 0);
}

void TWSocket::DnsLookup(const QString &HostName)
{
    // A new lookup replaces a running one without a word.
    DropLookup();
    FDnsResult.clear();
    FDnsResultList.clear();
    if (HostName.isEmpty()) {
        RaiseError(WSAEINVAL, QStringLiteral("DNS lookup: invalid host name."));
        RaiseEvent(OnDnsLookupDone, WSAEINVAL);
        return;
    }
    QHostAddress numeric;
    if (numeric.setAddress(HostName)) {
        FDnsResult = numeric.toString();
        FDnsResultList = {FDnsResult};
        RaiseEvent(OnDnsLookupDone, 0);
        return;
    }
    TLookupHook hook;
    int hookId = 0;
    {
        std::lock_guard lock(lookupHookSlot().mutex);
        hook = lookupHookSlot().hook;
        hookId = lookupHookSlot().nextId++;
    }
    if (hook) {
        QHostInfo info(FDnsLookupId = hookId);
        info.setAddresses(hook(HostName));
        if (info.addresses().isEmpty())
            info.setError(QHostInfo::HostNotFound);
        QMetaObject::invokeMethod(
            this, [this, info] { Guarded([this, &info] { LookupFinished(info); }); }, Qt::QueuedConnection);
        return;
    }
    FDnsLookupId = QHostInfo::lookupHost(HostName, this, [this](const QHostInfo &info) {
        Guarded([this, &info] { LookupFinished(info); });
    });
}

void TWSocket::LookupFinished(const QHostInfo &info)
{
    if (info.lookupId() != FDnsLookupId)
        return;
    FDnsLookupId = -1;
    quint16 error = 0;
    if (info.error() != QHostInfo::NoError) {
        error = info.error() == QHostInfo::HostNotFound ? WSAHOST_NOT_FOUND : WSANO_RECOVERY;
    } else {
        QList<QHostAddress> addresses = info.addresses();
        // Internet (IPv4) addresses first, as a stream socket of that family is the default.
        std::stable_partition(addresses.begin(), addresses.end(),
                              [](const QHostAddress &a) { return a.protocol() == QAbstractSocket::IPv4Protocol; });
        for (const QHostAddress &a : addresses)
            FDnsResultList << a.toString();
        if (FDnsResultList.isEmpty())
            error = WSANO_DATA;
        else
            FDnsResult = FDnsResultList.first();
    }
    if (error)
        FLastError = error;
    RaiseEvent(OnDnsLookupDone, error);
}

bool TWSocket::DropLookup()
{
    if (FDnsLookupId < 0)
        return false;
    QHostInfo::abortHostLookup(FDnsLookupId);
    FDnsLookupId = -1;
    return true;
}

void TWSocket::CancelDnsLookup()
{
    if (DropLookup() && !FDestroying)
        RaiseEvent(OnDnsLookupDone, WSAEINTR);
}

void TWSocket::Connect()
{
    const char *check = nullptr;
    int code = WSAEINVAL;
    if (FState != wsClosed) {
        check = "Connect: Socket already in use";
        code = WSAEISCONN;
    } else if (Port.isEmpty()) {
        check = "Connect: No Port Specified";
    } else if (Addr.isEmpty()) {
        check = "Connect: No IP Address Specified";
    } else if (Proto.isEmpty()) {
        check = "Connect: No Protocol Specified";
    }
    if (check) {
        RaiseError(code, QString::fromLatin1(check));
        return;
    }
    if (Proto.compare(QLatin1String("tcp"), Qt::CaseInsensitive) != 0) {
        SocketError(QStringLiteral("Connect"), WSAEPROTONOSUPPORT);
        return;
    }
    sockaddr_storage sa{};
    unsigned saLen = 0;
    ResolveEndpoint(sa, saLen);
    if (saLen == 0)
        return;
    OpenSocket(sa.ss_family);
    if (FHSocket >= 0)
        StartConnect(reinterpret_cast<const sockaddr *>(&sa), saLen);
}

void TWSocket::ResolveEndpoint(sockaddr_storage &sa, unsigned &saLen)
{
    bool ok = false;
    const uint port = Port.toUInt(&ok);
    if (!ok || port > 65535) {
        SocketError(QStringLiteral("Connect (port)"), WSAEINVAL);
        return;
    }
    const QHostAddress address(Addr);
    if (address.isNull()) {
        SocketError(QStringLiteral("Connect (address)"), WSAEINVAL);
        return;
    }
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *in = reinterpret_cast<sockaddr_in *>(&sa);
        in->sin_family = AF_INET;
        in->sin_port = htons(static_cast<quint16>(port));
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        saLen = sizeof(sockaddr_in);
    } else {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&sa);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(static_cast<quint16>(port));
        const Q_IPV6ADDR raw = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &raw, sizeof raw);
        saLen = sizeof(sockaddr_in6);
    }
}

void TWSocket::OpenSocket(int family)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SocketError(QStringLiteral("socket"), WSocketErrnoToWinsock(errno));
        return;
    }
    FHSocket = fd;
    FState = wsOpened;
    ++FConnection;
    FRemoteClosed = false;
    FReadError = 0;
    if (LingerOnOff != wsLingerNoSet) {
        // Linger on with time-out 0 makes a close reset the connection at once.
        const linger l{LingerOnOff == wsLingerOn ? 1 : 0, LingerTimeout};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    SetTcpNoDelay(fd);
    const uint localPort = LocalPort.toUInt();
    if (localPort != 0) {
        sockaddr_storage local{};
        local.ss_family = static_cast<sa_family_t>(family);
        // The port field sits at the same place in both address families.
        reinterpret_cast<sockaddr_in *>(&local)->sin_port = htons(static_cast<quint16>(localPort));
        const unsigned len = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), len) != 0) {
            const int err = WSocketErrnoToWinsock(errno);
            InternalClose(false, 0);
            SocketError(QStringLiteral("bind"), err);
            return;
        }
        FState = wsBound;
    }
    FReadNotifier.setSocket(fd);
    FWriteNotifier.setSocket(fd);
}

void TWSocket::StartConnect(const sockaddr *sa, unsigned saLen)
{
    FState = wsConnecting;
    if (::connect(FHSocket, sa, saLen) == 0 || errno == EINPROGRESS) {
        FWriteNotifier.setEnabled(true);
        return;
    }
    // A refusal known at once still arrives as the connect event, like any other outcome.
    const quint16 error = static_cast<quint16>(WSocketErrnoToWinsock(errno));
    const quint64 connection = FConnection;
    QMetaObject::invokeMethod(
        this,
        [this, connection, error] {
            if (connection == FConnection && FState == wsConnecting)
                Guarded([this, error] { ConnectDone(error); });
        },
        Qt::QueuedConnection);
}

void TWSocket::WriteReady()
{
    if (FTls && !FTls->Established()) {
        ContinueTls();
        return;
    }
    if (std::exchange(FTlsReadWantsWrite, false)) {
        const quint64 connection = FConnection;
        ReadReady();
        if (connection != FConnection)
            return;
    }
    if (FState != wsConnecting) {
        TryToSend();
        return;
    }
    int err = 0;
    socklen_t len = sizeof err;
    ::getsockopt(FHSocket, SOL_SOCKET, SO_ERROR, &err, &len);
    ConnectDone(static_cast<quint16>(err ? WSocketErrnoToWinsock(err) : 0));
}

void TWSocket::ConnectDone(quint16 error)
{
    FState = wsConnected;
    FWriteNotifier.setEnabled(false);
    if (error)
        FLastError = error;
    else
        FReadNotifier.setEnabled(true);
    const quint64 connection = FConnection;
    RaiseEvent(OnSessionConnected, error);
    if (error && connection == FConnection)
        InternalClose(true, error);
}

int TWSocket::Send(const void *Data, int Len)
{
    if (FState != wsConnected) {
        SocketError(QStringLiteral("Send"), WSAENOTCONN);
        return -1;
    }
    FSendQueue.Append(static_cast<const char *>(Data), Len);
    TryToSend();
    return Len;
}

void TWSocket::TryToSend()
{
    // Before the handshake is done nothing may go out in plain text.
    if (FTls && !FTls->Established())
        return;
    while (!FSendQueue.IsEmpty()) {
        int len = 0;
        const char *data = FSendQueue.Front(len);
        if (FTls) {
            TTlsSession::TWait wait = TTlsSession::tlsNone;
            const int sent = FTls->Write(data, len, wait);
            if (sent > 0) {
                FSendQueue.Consume(sent);
                continue;
            }
            FTlsWriteWantsRead = wait == TTlsSession::tlsRead;
            if (wait == TTlsSession::tlsWrite) {
                FWriteNotifier.setEnabled(true);
            } else if (wait == TTlsSession::tlsNone) {
                FLastError = WSAECONNABORTED;
                InternalClose(true, WSAECONNABORTED);
            }
            return;
        }
        const ssize_t sent = ::send(FHSocket, data, static_cast<size_t>(len), MSG_NOSIGNAL);
        if (sent < 0) {
            const int err = WSocketErrnoToWinsock(errno);
            if (err == WSAEWOULDBLOCK) {
                FWriteNotifier.setEnabled(true);
            } else if (ClosesOnSendError(err)) {
                FLastError = err;
                InternalClose(true, static_cast<quint16>(err));
            } else {
                SocketError(QStringLiteral("TryToSend failed"), err);
            }
            return;
        }
        FSendQueue.Consume(static_cast<int>(sent));
    }
    FWriteNotifier.setEnabled(FTlsReadWantsWrite);
    RaiseEvent(OnDataSent, 0);
}

int TWSocket::Receive(void *Buffer, int BufferSize)
{
    if (FHSocket < 0) {
        FLastError = WSAENOTCONN;
        return -1;
    }
    if (BufferSize <= 0)
        return 0;
    if (FTls) {
        TTlsSession::TWait wait = TTlsSession::tlsNone;
        const int got = FTls->Read(Buffer, BufferSize, wait);
        FReadFilled = got == BufferSize || FTls->Pending();
        if (got >= 0) {
            FRemoteClosed = FRemoteClosed || got == 0;
            return got;
        }
        if (wait == TTlsSession::tlsWrite) {
            FTlsReadWantsWrite = true;
            FWriteNotifier.setEnabled(true);
        }
        FLastError = wait == TTlsSession::tlsNone ? WSAECONNABORTED : WSAEWOULDBLOCK;
        if (wait == TTlsSession::tlsNone)
            FReadError = FLastError;
        return -1;
    }
    const ssize_t got = ::recv(FHSocket, Buffer, static_cast<size_t>(BufferSize), 0);
    FReadFilled = got == BufferSize;
    if (got >= 0) {
        FRemoteClosed = FRemoteClosed || got == 0;
        return static_cast<int>(got);
    }
    FLastError = WSocketErrnoToWinsock(errno);
    if (FLastError != WSAEWOULDBLOCK && FLastError != WSAEINTR)
        FReadError = FLastError;
    return -1;
}

void TWSocket::PauseReading(int ms)
{
    if (FHSocket < 0)
        return;
    FReadPaused = true;
    FReadNotifier.setEnabled(false);
    FReadResume.start(std::max(1, ms));
}

void TWSocket::ResumeReading()
{
    if (!std::exchange(FReadPaused, false) || FHSocket < 0)
        return;
    FReadNotifier.setEnabled(true);
    // Bytes already decrypted never make the socket readable again.
    if (FTls && FTls->Pending())
        PostForConnection(&TWSocket::ReadReady);
}

void TWSocket::ReadReady()
{
    if (FReadPaused)
        return;
    if (FTls && !FTls->Established()) {
        ContinueTls();
        return;
    }
    const quint64 connection = FConnection;
    if (std::exchange(FTlsWriteWantsRead, false)) {
        TryToSend();
        if (connection != FConnection)
            return;
    }
    // Keep delivering while the last read filled its buffer: more is likely waiting, and
    // going back to the event loop after every piece costs more than the read itself.
    for (int round = 0; round < MaxReadRounds; ++round) {
        FReadFilled = false;
        if (OnDataAvailable) {
            try {
                OnDataAvailable(this, 0);
            } catch (...) {
                qCWarning(lcNet, "a data handler raised: %s", qUtf8Printable(CaughtText()));
                break;
            }
        } else {
            DropWaitingData();
        }
        if (connection != FConnection)
            return;
        if (!FReadFilled || FRemoteClosed || FReadError)
            break;
    }
    if (connection != FConnection)
        return;
    if (FRemoteClosed || FReadError)
        InternalClose(true, static_cast<quint16>(FReadError));
    else if (FTls && FTls->Pending() && !FReadPaused)
        // Bytes already decrypted never make the socket readable again.
        PostForConnection(&TWSocket::ReadReady);
}

void TWSocket::StartTls(const QString &HostName, const QString &CAFile)
{
    if (FState != wsConnected || FTls) {
        SocketError(QStringLiteral("StartTls"), FTls ? WSAEISCONN : WSAENOTCONN);
        return;
    }
    FTls = std::make_unique<TTlsSession>(FHSocket, HostName, Port, CAFile);
    // Even a failure known at once arrives as the event, from the event loop.
    PostForConnection(&TWSocket::ContinueTls);
}

void TWSocket::ContinueTls()
{
    if (!FTls || FTls->Established())
        return;
    TTlsSession::TWait wait = TTlsSession::tlsNone;
    const quint64 connection = FConnection;
    if (FTls->Handshake(wait)) {
        FWriteNotifier.setEnabled(false);
        RaiseEvent(OnTlsDone, 0);
        if (connection == FConnection)
            TryToSend();
        return;
    }
    FWriteNotifier.setEnabled(wait == TTlsSession::tlsWrite);
    if (wait != TTlsSession::tlsNone)
        return;
    FLastError = WSAECONNABORTED;
    RaiseEvent(OnTlsDone, WSAECONNABORTED);
    if (connection == FConnection)
        InternalClose(true, WSAECONNABORTED);
}

QString TWSocket::TlsFailure() const
{
    return FTls ? FTls->Failure() : QString();
}

bool TWSocket::TlsCertificateRefused() const
{
    return FTls && FTls->CertificateRefused();
}

void TWSocket::PostForConnection(void (TWSocket::*step)())
{
    const quint64 connection = FConnection;
    QMetaObject::invokeMethod(
        this,
        [this, connection, step] {
            if (connection == FConnection)
                Guarded([this, step] { (this->*step)(); });
        },
        Qt::QueuedConnection);
}

void TWSocket::DropWaitingData()
{
    char scratch[1024];
    Receive(scratch, sizeof scratch);
}

void TWSocket::Close()
{
    InternalClose(true, 0);
}

void TWSocket::InternalClose(bool raiseEvent, quint16 error)
{
    if (FHSocket < 0) {
        FState = wsClosed;
        return;
    }
    FReadNotifier.setEnabled(false);
    FWriteNotifier.setEnabled(false);
    FReadResume.stop();
    FReadPaused = false;
    if (FTls && FState == wsConnected)
        FTls->Shutdown();
    if (FState == wsConnected)
        ::shutdown(FHSocket, SHUT_WR);
    ::close(FHSocket);
    FHSocket = -1;
    ++FConnection;
    FState = wsClosed;
    FSendQueue.Clear();
    FTls.reset();
    FTlsReadWantsWrite = false;
    FTlsWriteWantsRead = false;
    // Defaults come back before the event, so a handler may start the next connection.
    ResetDefaults();
    if (raiseEvent && !FDestroying)
        RaiseEvent(OnSessionClosed, error);
}

void TWSocket::ResetDefaults()
{
    Addr.clear();
    Port.clear();
    Proto = QStringLiteral("tcp");
    LocalPort = QStringLiteral("0");
    LingerOnOff = wsLingerOn;
    LingerTimeout = 0;
}

void TWSocket::SocketError(const QString &op, int code)
{
    RaiseError(code, QStringLiteral("Error %1 in function %2\r\n%3").arg(code).arg(op, WSocketErrorDesc(code)));
}

void TWSocket::RaiseError(int code, const QString &text)
{
    FLastError = code;
    if (code == WSAECONNRESET || code == WSAENOTCONN)
        InternalClose(true, static_cast<quint16>(code));
    if (OnError)
        OnError(this, static_cast<quint16>(code), text);
    else
        throw ESocketException(text, code);
}

void TWSocket::Guarded(const std::function<void()> &fn)
{
    try {
        fn();
        return;
    } catch (...) {
        qCWarning(lcNet, "a socket handler raised, the socket closes: %s", qUtf8Printable(CaughtText()));
    }
    try {
        InternalClose(true, 0);
    } catch (...) {
        qCWarning(lcNet, "the socket could not close: %s", qUtf8Printable(CaughtText()));
    }
}

void TWSocket::RaiseEvent(const TSocketEvent &event, quint16 error)
{
    if (event)
        event(this, error);
}
