#include "mail/TLineSocket.h"

#include "download/WSocketErrors.h"
#include "mail/MailLog.h"

#include <cerrno>
#include <memory>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A name lookup on a thread of its own, so that a slow resolver cannot hold up an abort or the
// time-out; the thread may outlive the socket and frees what it found when it ends.
struct TLookup {
    std::mutex Lock;
    int Done = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    int Result = EAI_SYSTEM;
    addrinfo *Found = nullptr;
    ~TLookup()
    {
        if (Found)
            freeaddrinfo(Found);
        if (Done >= 0)
            close(Done);
    }
};

addrinfo Hints(int flags)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    return hints;
}

int PollOne(int fd, short events, int wake, int timeoutMs)
{
    pollfd fds[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
    int rc;
    do {
        rc = poll(fds, 2, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    if (rc > 0 && fds[1].revents)
        return -2;
    return rc;
}

} // namespace

TLineSocket::TLineSocket() : FWake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TLineSocket::~TLineSocket()
{
    Close();
    if (FWake >= 0)
        close(FWake);
}

void TLineSocket::Abort()
{
    FAborted = true;
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t n = write(FWake, &one, sizeof one);
}

void TLineSocket::Fail(TSmtpFault fault, int code, const QString &text)
{
    Close();
    throw ESMTPException(fault, text.isEmpty() ? WSocketErrorDesc(code) : text, code);
}

void TLineSocket::Close()
{
    if (FSocket >= 0)
        close(FSocket);
    FSocket = -1;
    FBuffer.clear();
}

void TLineSocket::Wait(TWaitFor what)
{
    if (FAborted)
        FailAborted();
    const int rc = PollOne(FSocket, what == WaitRead ? POLLIN : POLLOUT, FWake, TimeOutMs);
    if (rc == -2 || FAborted)
        FailAborted();
    if (rc == 0)
        Fail(TSmtpFault::TimeOut, errTimeOut);
    if (rc < 0)
        Fail(TSmtpFault::Lost, WSocketErrnoToWinsock(errno));
}

void TLineSocket::Connect(const QString &host, int port, const std::function<void()> &resolved)
{
    Close();
    const QByteArray name = host.toUtf8();
    const QByteArray service = QByteArray::number(port);
    auto lookup = std::make_shared<TLookup>();
    const addrinfo numeric = Hints(AI_NUMERICHOST | AI_NUMERICSERV);
    if (getaddrinfo(name.constData(), service.constData(), &numeric, &lookup->Found) == 0) {
        lookup->Result = 0;
    } else {
        lookup->Found = nullptr;
        std::thread([lookup, name, service] {
            const addrinfo hints = Hints(AI_NUMERICSERV);
            addrinfo *found = nullptr;
            const int result = getaddrinfo(name.constData(), service.constData(), &hints, &found);
            {
                const std::lock_guard<std::mutex> hold(lookup->Lock);
                lookup->Result = result;
                lookup->Found = found;
            }
            const quint64 one = 1;
            [[maybe_unused]] const ssize_t n = write(lookup->Done, &one, sizeof one);
        }).detach();
        const int rc = PollOne(lookup->Done, POLLIN, FWake, TimeOutMs);
        if (rc == -2 || FAborted)
            FailAborted();
        if (rc == 0)
            Fail(TSmtpFault::TimeOut, errTimeOut);
    }
    const std::lock_guard<std::mutex> hold(lookup->Lock);
    if (lookup->Result != 0 || !lookup->Found)
        Fail(TSmtpFault::HostNotFound, errHostNotFound);
    if (resolved)
        resolved();

    int lastError = ECONNREFUSED;
    for (const addrinfo *a = lookup->Found; a; a = a->ai_next) {
        FSocket = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (FSocket < 0) {
            lastError = errno;
            continue;
        }
        if (connect(FSocket, a->ai_addr, a->ai_addrlen) == 0)
            return;
        lastError = errno;
        if (lastError == EINPROGRESS) {
            try {
                Wait(WaitWrite);
            } catch (const ESMTPException &e) {
                if (e.Fault() == TSmtpFault::Aborted)
                    throw;
                qCDebug(lcMail, "an address of the mail server did not answer: %s", e.what());
                lastError = ETIMEDOUT;
                continue;
            }
            socklen_t size = sizeof lastError;
            if (getsockopt(FSocket, SOL_SOCKET, SO_ERROR, &lastError, &size) == 0 && lastError == 0)
                return;
        }
        Close();
    }
    Fail(TSmtpFault::ConnectFailed, WSocketErrnoToWinsock(lastError));
}

QByteArray TLineSocket::ReadLine()
{
    for (;;) {
        const qsizetype end = FBuffer.indexOf('\n');
        if (end >= 0) {
            QByteArray line = FBuffer.left(end);
            FBuffer.remove(0, end + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            if (line.size() > MaxLine)
                Fail(TSmtpFault::BadReply, errLineTooLong, QStringLiteral("Reply line too long"));
            return line;
        }
        if (FBuffer.size() > MaxLine)
            Fail(TSmtpFault::BadReply, errLineTooLong, QStringLiteral("Reply line too long"));
        if (FSocket < 0)
            Fail(TSmtpFault::NotConnected, WSAENOTCONN);
        Wait(WaitRead);
        char piece[8192];
        const ssize_t n = recv(FSocket, piece, sizeof piece, 0);
        if (n == 0)
            Fail(TSmtpFault::Lost, errClosed, QStringLiteral("Connection closed by the server"));
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            Fail(TSmtpFault::Lost, WSocketErrnoToWinsock(errno));
        }
        FBuffer.append(piece, n);
    }
}

void TLineSocket::Write(const QByteArray &data, const std::function<void(qint64)> &progress)
{
    constexpr qsizetype Piece = 64 * 1024;
    qsizetype sent = 0;
    while (sent < data.size()) {
        if (FSocket < 0)
            Fail(TSmtpFault::NotConnected, WSAENOTCONN);
        if (FAborted)
            FailAborted();
        const ssize_t n = send(FSocket, data.constData() + sent, size_t(std::min(Piece, data.size() - sent)),
                               MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                Wait(WaitWrite);
                continue;
            }
            Fail(TSmtpFault::Lost, WSocketErrnoToWinsock(errno));
        }
        sent += n;
        if (progress)
            progress(sent);
    }
}
