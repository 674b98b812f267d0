// The HTTP client reading any answer: a server thread on 127.0.0.1 plays the input as the whole
// answer and closes; the client must end the request, keep what it reports consistent and never
// hold more than the answer gave it.
#include "FuzzSupport.h"
#include "HttpProt.h"

#include <QBuffer>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace {

// Serves one answer per connection: reads the request up to its empty line, sends the answer,
// closes its side and waits for the client to close.
class TAnswerServer
{
public:
    TAnswerServer()
    {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || listen(m_listener, 16) != 0
            || getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            std::abort();
        m_port = ntohs(address.sin_port);
        std::thread([this] { Serve(); }).detach();
    }

    quint16 Port() const { return m_port; }

    void SetAnswer(const QByteArray &answer)
    {
        const std::lock_guard lock(m_mutex);
        m_answer = answer;
    }

private:
    void Serve()
    {
        for (;;) {
            const int peer = accept(m_listener, nullptr, nullptr);
            if (peer < 0)
                continue;
            // A client that stops reading must not hold the server up for long.
            const timeval limit{2, 0};
            setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            setsockopt(peer, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            QByteArray request;
            char buffer[4096];
            while (!request.contains("\r\n\r\n")) {
                const ssize_t got = recv(peer, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                request.append(buffer, got);
            }
            QByteArray answer;
            {
                const std::lock_guard lock(m_mutex);
                answer = m_answer;
            }
            for (qsizetype sent = 0; sent < answer.size();) {
                const ssize_t put = send(peer, answer.constData() + sent, size_t(answer.size() - sent), MSG_NOSIGNAL);
                if (put <= 0)
                    break;
                sent += put;
            }
            shutdown(peer, SHUT_WR);
            while (recv(peer, buffer, sizeof buffer, 0) > 0) {
            }
            close(peer);
        }
    }

    int m_listener = -1;
    quint16 m_port = 0;
    std::mutex m_mutex;
    QByteArray m_answer;
};

TAnswerServer *Server = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::StartApplication();
    Server = new TAnswerServer;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first byte picks the request: a range asked for or not, GET or HEAD.
    const uint8_t how = size > 0 ? data[0] : 0;
    const QByteArray answer = size > 0 ? QByteArray(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1)) : QByteArray();
    Server->SetAnswer(answer);

    THttpCli cli;
    QBuffer body;
    body.open(QIODevice::ReadWrite);
    cli.URL = QStringLiteral("http://127.0.0.1:%1/a.jpg").arg(Server->Port());
    cli.ReceiveStream = &body;
    if (how & 1) {
        cli.ContentRangeBegin = QStringLiteral("100");
        cli.ContentRangeEnd = (how & 2) ? QStringLiteral("199") : QString();
    }
    qint64 delivered = 0;
    cli.OnDocData = [&](THttpCli *, const char *, int len) {
        FuzzSupport::Check(len > 0, "a body piece holds bytes");
        delivered += len;
    };
    // The server always closes, so a request that does not end is a hang of the client's own.
    QObject watchdog;
    QTimer::singleShot(10000, &watchdog, [] { FuzzSupport::Check(false, "the request ends when the server closes"); });
    try {
        (how & 4) ? cli.Head() : cli.Get();
    } catch (const EHttpException &) {
    }
    FuzzSupport::Check(cli.State() == httpReady, "ready after the request");
    FuzzSupport::Check(delivered == cli.RcvdCount(), "the received count is what was delivered");
    FuzzSupport::Check(body.size() <= answer.size(), "no more body than the answer held");
    FuzzSupport::Check(cli.ResponseLength() >= -1, "a length is -1 or a size");
    qsizetype kept = 0;
    for (const QString &line : cli.ResponseHeaders())
        kept += line.size();
    FuzzSupport::Check(kept <= answer.size(), "no more header text than the answer held");
    return 0;
}
