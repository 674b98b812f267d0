#pragma once

#include <QByteArray>

#include <csignal>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A server thread on 127.0.0.1 that plays a fuzzed answer on every connection: it reads the
// request up to its end marker (none: it answers at once), sends the answer, closes its side and
// waits for the client to close. A server that speaks another layer over the connection (TLS)
// overrides the four stream calls; Start() runs the thread.
class TAnswerServer
{
public:
    explicit TAnswerServer(const QByteArray &requestEnd) : FRequestEnd(requestEnd)
    {
        FListener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (FListener < 0 || bind(FListener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || listen(FListener, 16) != 0
            || getsockname(FListener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            std::abort();
        FPort = ntohs(address.sin_port);
    }
    virtual ~TAnswerServer() = default;

    void Start()
    {
        std::thread([this] { Serve(); }).detach();
    }

    quint16 Port() const { return FPort; }

    void SetAnswer(const QByteArray &answer)
    {
        const std::lock_guard lock(FMutex);
        FAnswer = answer;
    }

protected:
    virtual bool Open(int) { return true; }
    virtual ssize_t Read(int peer, char *buffer, size_t size) { return recv(peer, buffer, size, 0); }
    virtual ssize_t Write(int peer, const char *data, size_t size) { return send(peer, data, size, MSG_NOSIGNAL); }
    virtual void Finish(int peer) { shutdown(peer, SHUT_WR); }

private:
    void Serve()
    {
        // A layer that writes without MSG_NOSIGNAL (TLS) must not end the fuzzer when the client has gone.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        for (;;) {
            const int peer = accept(FListener, nullptr, nullptr);
            if (peer < 0)
                continue;
            // A client that stops reading must not hold the server up for long.
            const timeval limit{2, 0};
            setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            setsockopt(peer, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            char buffer[4096];
            if (!Open(peer)) {
                close(peer);
                continue;
            }
            QByteArray request;
            while (!FRequestEnd.isEmpty() && !request.contains(FRequestEnd)) {
                const ssize_t got = Read(peer, buffer, sizeof buffer);
                if (got <= 0)
                    break;
                request.append(buffer, got);
            }
            QByteArray answer;
            {
                const std::lock_guard lock(FMutex);
                answer = FAnswer;
            }
            for (qsizetype sent = 0; sent < answer.size();) {
                const ssize_t put = Write(peer, answer.constData() + sent, size_t(answer.size() - sent));
                if (put <= 0)
                    break;
                sent += put;
            }
            Finish(peer);
            while (recv(peer, buffer, sizeof buffer, 0) > 0) {
            }
            close(peer);
        }
    }

    const QByteArray FRequestEnd;
    int FListener = -1;
    quint16 FPort = 0;
    std::mutex FMutex;
    QByteArray FAnswer;
};
