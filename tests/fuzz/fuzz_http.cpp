// The HTTP client reading any answer: a server thread on 127.0.0.1 plays the input as the whole
// answer and closes, in plain text or inside a real TLS session in records of a chosen size; the
// client must end the request, keep what it reports consistent and never hold more than the
// answer gave it.
#include "download/HttpProt.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/TTlsAnswerServer.h"

#include <QBuffer>
#include <QTimer>

#include <cstdint>

namespace {

TAnswerServer *Server = nullptr;
TTlsAnswerServer *TlsServer = nullptr;
// Plain bytes per TLS write: one-byte records, small ones, and full ones.
constexpr size_t Pieces[] = {1, 7, 1000, 16384};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::StartApplication();
    Server = new TAnswerServer("\r\n\r\n");
    Server->Start();
    TlsServer = new TTlsAnswerServer("\r\n\r\n");
    TlsServer->Start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first byte picks the request: a range asked for or not, GET or HEAD, plain or over TLS
    // and the size of its records.
    const uint8_t how = size > 0 ? data[0] : 0;
    const QByteArray answer = size > 0 ? QByteArray(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1))
                                       : QByteArray();
    const bool tls = how & 8;
    (tls ? TlsServer : Server)->SetAnswer(answer);
    TlsServer->SetPiece(Pieces[(how >> 4) & 3]);

    THttpCli cli;
    QBuffer body;
    body.open(QIODevice::ReadWrite);
    cli.URL = QStringLiteral("%1://127.0.0.1:%2/a.jpg")
                  .arg(QLatin1String(tls ? "https" : "http"))
                  .arg((tls ? TlsServer : Server)->Port());
    cli.CAFile = TlsServer->CaFile();
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
