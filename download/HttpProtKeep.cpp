// Kept connections of THttpCli: when an answer leaves its connection fit for the next request, how
// the next request takes it, and the one resend when the server had closed it meanwhile.
#include "download/HttpProt.h"

#include "download/NetLog.h"
#include "download/WSocketErrors.h"

bool THttpCli::TakeKeptConnection()
{
    if (!FKeep.Parked())
        return false;
    if (FKeep.Fits(FConnKey) && IdleConnectionOpen()) {
        FKeep.Forget();
        return true;
    }
    // Its close event finds it parked and tells no request.
    FCtrlSocket.Close();
    return false;
}

bool THttpCli::IdleConnectionOpen()
{
    if (FCtrlSocket.State() != wsConnected)
        return false;
    // Any byte here is not an answer to anything; reading it costs nothing, as the connection goes then.
    char probe = 0;
    return FCtrlSocket.Receive(&probe, 1) < 0 && FCtrlSocket.LastError() == WSAEWOULDBLOCK;
}

void THttpCli::AnswerEnded()
{
    if (ParkConnection())
        EndRequest(0);
    else
        FCtrlSocket.Close();
}

bool THttpCli::ParkConnection()
{
    if (FSurplus || !THttpKeepAlive::AnswerAllows(FAnswer) || FCtrlSocket.State() != wsConnected)
        return false;
    return FKeep.Park(FConnKey);
}

bool THttpCli::BodyReadWhole() const
{
    const qint64 length = FAnswer.ResponseLength();
    return FState == httpWaitingBody && FDocPieces > 0 && !FAnswer.Chunked() && length >= 0 && FRcvdCount >= length
           && !FSurplus;
}

bool THttpCli::RedirectBodyInHand() const
{
    const qint64 length = FRequestType == httpHEAD ? 0 : FAnswer.Chunked() ? -1 : FAnswer.ResponseLength();
    return length >= 0 && FAnswer.Held() == length;
}

bool THttpCli::ResendOnNewConnection()
{
    // Only a request that never saw a byte of its answer: a server that closed the kept
    // connection just as the request went out. Once something arrived, the answer is the answer.
    if (!FReused || FAnswerStarted || FRequestEnded || FRequestDoneError != 0 || FState != httpWaitingHeader)
        return false;
    FReused = false;
    qCDebug(lcNet, "the kept connection was closed; %s goes again on a new one", qUtf8Printable(FAnswer.Url()));
    Reopen(FCurrentUrl);
    return true;
}
