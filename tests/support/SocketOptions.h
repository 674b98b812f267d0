#pragma once

#include <QtGlobal>

#include <filesystem>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

// TCP_NODELAY of this process's own socket connected to 127.0.0.1:port, read from the socket itself
// so that no class has to hand out its handle; -1 when no such socket is open.
inline int NoDelayOfSocketTo(quint16 port)
{
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &len) != 0 || peer.sin_family != AF_INET
            || ntohs(peer.sin_port) != port)
            continue;
        int on = 0;
        socklen_t size = sizeof on;
        if (::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &size) == 0)
            return on;
    }
    return -1;
}
