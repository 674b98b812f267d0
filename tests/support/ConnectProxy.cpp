#include "tests/support/ConnectProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
bool SendAll(int fd, const char *data, size_t len)
{
    while (len > 0) {
        const ssize_t n = ::send(fd, data, len, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

int ConnectTo(const QByteArray &authority)
{
    const int colon = authority.lastIndexOf(':');
    QByteArray host = authority.left(colon);
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    const int port = authority.mid(colon + 1).toInt();
    sockaddr_in6 in6{};
    sockaddr_in in{};
    const bool v6 = ::inet_pton(AF_INET6, host.constData(), &in6.sin6_addr) == 1;
    if (!v6 && ::inet_pton(AF_INET, host.constData(), &in.sin_addr) != 1)
        return -1;
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(static_cast<uint16_t>(port));
    in.sin_family = AF_INET;
    in.sin_port = htons(static_cast<uint16_t>(port));
    const int rc = v6 ? ::connect(fd, reinterpret_cast<sockaddr *>(&in6), sizeof in6)
                      : ::connect(fd, reinterpret_cast<sockaddr *>(&in), sizeof in);
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Copies both ways until either side closes.
void Relay(int a, int b)
{
    char buffer[65536];
    for (;;) {
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        if (::poll(fds, 2, 30000) <= 0)
            return;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
            if (n <= 0 || !SendAll(fds[1 - i].fd, buffer, static_cast<size_t>(n)))
                return;
        }
    }
}
} // namespace

TConnectProxy::TConnectProxy()
{
    FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(FListen, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    ::listen(FListen, 16);
    ::getsockname(FListen, reinterpret_cast<sockaddr *>(&addr), &len);
    FPort = ntohs(addr.sin_port);
    FAcceptor = std::thread([this] { AcceptLoop(); });
}

TConnectProxy::~TConnectProxy()
{
    FStopping = true;
    ::shutdown(FListen, SHUT_RDWR);
    FAcceptor.join();
    ::close(FListen);
    for (std::thread &session : FSessions)
        session.join();
}

QList<QByteArray> TConnectProxy::Heads() const
{
    std::lock_guard lock(FMutex);
    return FHeads;
}

void TConnectProxy::RefuseWith(const QByteArray &answer)
{
    std::lock_guard lock(FMutex);
    FRefusal = answer;
}

void TConnectProxy::AcceptLoop()
{
    for (;;) {
        const int client = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0 || FStopping) {
            if (client >= 0)
                ::close(client);
            return;
        }
        std::lock_guard lock(FMutex);
        FSessions.emplace_back([this, client] { Serve(client); });
    }
}

void TConnectProxy::Serve(int client)
{
    QByteArray head;
    char c = 0;
    // One byte at a time, so that nothing after the head is taken from the tunnel.
    while (!head.endsWith("\r\n\r\n") && head.size() < 65536 && ::recv(client, &c, 1, 0) == 1)
        head += c;
    QByteArray refusal;
    {
        std::lock_guard lock(FMutex);
        FHeads << head;
        refusal = FRefusal;
    }
    const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
    const int origin = refusal.isEmpty() && words.size() == 3 && words[0] == "CONNECT" ? ConnectTo(words[1]) : -1;
    if (origin < 0) {
        const QByteArray answer =
            refusal.isEmpty() ? QByteArray("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n") : refusal;
        SendAll(client, answer.constData(), static_cast<size_t>(answer.size()));
    } else {
        static const char established[] = "HTTP/1.1 200 Connection established\r\nProxy-Agent: test\r\n\r\n";
        if (SendAll(client, established, sizeof established - 1))
            Relay(client, origin);
        ::close(origin);
    }
    ::close(client);
}
