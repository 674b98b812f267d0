// The body of THttpCli's answer: where it ends, how its chunks are undone, and how it reaches the stream.
#include "download/HttpProt.h"

#include <QFileDevice>

#include <algorithm>

namespace {
// Body bytes are collected up to this size before the stream sees them: large writes are
// several times cheaper than one write per received piece.
constexpr size_t WriteBlock = 1 << 20;
} // namespace

void THttpCli::BeginBody()
{
    const quint64 serial = FRequestSerial;
    SetState(httpWaitingBody);
    FAnswer.BodyBegins();
    if (FAnswer.Chunked())
        FChunkDecoder.Reset();
    if (OnHeaderEnd)
        OnHeaderEnd(this);
    if (!Ended(serial) && !FAnswer.Location().isEmpty() && OnLocationChange)
        OnLocationChange(this);
    if (Ended(serial))
        return;
    if (BodyIsEmpty()) {
        FSurplus = FAnswer.Held() > 0;
        AnswerEnded();
        return;
    }
    const QByteArray rest = FAnswer.TakeBody();
    if (!rest.isEmpty())
        BodyData(rest.constData(), static_cast<int>(rest.size()));
}

bool THttpCli::BodyIsEmpty() const
{
    const int status = FAnswer.Status();
    return FRequestType == httpHEAD || (status >= 100 && status < 200) || status == 204 || status == 304
           || (!FAnswer.Chunked() && FAnswer.ResponseLength() == 0);
}

bool THttpCli::BodyCutShort() const
{
    if (FState != httpWaitingBody || BodyIsEmpty())
        return false;
    const qint64 length = FAnswer.ResponseLength();
    return FAnswer.Chunked() ? !FChunkDecoder.Done() : length >= 0 && FRcvdCount < length;
}

void THttpCli::BodyData(const char *data, int len)
{
    const quint64 serial = FRequestSerial;
    if (FAnswer.Chunked()) {
        FChunkDecoder.Feed(data, len, [this, serial](const char *piece, int pieceLen) {
            if (!Ended(serial))
                DeliverPiece(piece, pieceLen);
        });
        if (Ended(serial))
            return;
        // Broken framing (or a size line with endless extensions) leaves no way to find the body.
        if (FChunkDecoder.Failed())
            Fail(httpErrBadChunk, QStringLiteral("HTTP bad chunked framing"));
        if (FChunkDecoder.Clean())
            AnswerEnded();
        else if (FChunkDecoder.Done() || FChunkDecoder.Failed())
            FCtrlSocket.Close();
        return;
    }
    const qint64 length = FAnswer.ResponseLength();
    if (length < 0) {
        DeliverPiece(data, len);
        return;
    }
    // Bytes past the announced length are not part of this answer.
    FSurplus = FSurplus || len > length - FRcvdCount;
    DeliverPiece(data, static_cast<int>(std::min<qint64>(len, length - FRcvdCount)));
    if (!Ended(serial) && FRcvdCount >= length)
        AnswerEnded();
}

void THttpCli::DeliverPiece(const char *data, int len)
{
    if (len <= 0)
        return;
    if (FDocPieces++ == 0 && OnDocBegin)
        OnDocBegin(this);
    FRcvdCount += len;
    // Queued for the stream first, so a handler that aborts still has this piece written.
    if (ReceiveStream)
        FWriteBuf.insert(FWriteBuf.end(), data, data + len);
    if (OnDocData)
        OnDocData(this, data, len);
    if (FWriteBuf.size() >= WriteBlock && !FlushStream())
        FCtrlSocket.Close();
}

bool THttpCli::FlushStream()
{
    if (FWriteBuf.empty() || !ReceiveStream) {
        FWriteBuf.clear();
        return true;
    }
    const auto size = static_cast<qint64>(FWriteBuf.size());
    qint64 written = 0;
    // After a short write the next one either takes the rest or fails with the reason.
    while (written < size) {
        const qint64 n = ReceiveStream->write(FWriteBuf.data() + written, size - written);
        if (n <= 0)
            break;
        written += n;
    }
    FWriteBuf.clear();
    // A file keeps a buffer of its own: what the disk refuses may show only when that is flushed.
    auto *file = qobject_cast<QFileDevice *>(ReceiveStream);
    if (written == size && (!file || file->flush()))
        return true;
    const QString reason = ReceiveStream->errorString();
    Fail(httpErrWriteFailed,
         QLatin1String("Write failed: ") + (reason.isEmpty() ? QStringLiteral("short write") : reason));
    return false;
}
