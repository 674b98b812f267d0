#include "mail/TMailSession.h"

#include "mail/MailErrorText.h"
#include "mail/MailLog.h"

TMailSession::TMailSession(QObject *parent) : QObject(parent) {}

TMailSession::~TMailSession()
{
    Abort();
    Join();
}

void TMailSession::Join()
{
    if (FThread)
        FThread->wait();
    FThread.reset();
}

void TMailSession::Abort()
{
    if (FRunning && FClient)
        FClient->Abort();
}

bool TMailSession::Start(const TMailServer &server, const TPostMessage &message)
{
    if (FRunning)
        return false;
    // The last send has said it ended; its thread is about to.
    Join();
    FClient = std::make_unique<TNMSMTP>();
    FClient->Host = server.Host;
    FClient->Port = server.Port;
    FClient->UserID = server.UserID;
    FClient->SetTimeOut(server.TimeOutSeconds * 1000);
    WireEvents();
    FRunning = true;
    FThread.reset(QThread::create([this, message] { Run(message); }));
    FThread->setObjectName(QStringLiteral("mail"));
    FThread->start();
    return true;
}

void TMailSession::WireEvents()
{
    TNMSMTP &c = *FClient;
    c.OnConnect = [this] { emit Connect(); };
    c.OnDisconnect = [this] { emit Disconnect(); };
    c.OnStatus = [this](const QString &text) { emit Status(text); };
    c.OnHostResolved = [this] { emit HostResolved(); };
    c.OnInvalidHost = [this] { emit InvalidHost(); };
    c.OnConnectionFailed = [this] { emit ConnectionFailed(); };
    c.OnSendStart = [this] { emit SendStart(); };
    c.OnPacketSent = [this](qint64 sent, qint64 total) { emit PacketSent(sent, total); };
    c.OnEncodeStart = [this](const QString &name) { emit EncodeStart(name); };
    c.OnEncodeEnd = [this](const QString &name) { emit EncodeEnd(name); };
    c.OnRecipientNotFound = [this](const QString &address) { emit RecipientNotFound(address); };
    c.OnHeaderIncomplete = [this] { emit HeaderIncomplete(); };
    c.OnSuccess = [this] { emit Success(); };
    c.OnFailure = [this] { emit Failure(); };
}

void TMailSession::Run(const TPostMessage &message)
{
    TNMSMTP &c = *FClient;
    QString error;
    int code = 0;
    try {
        c.Connect();
        c.PostMessage = message;
        c.SendMail();
        c.Disconnect();
    } catch (const ESMTPException &e) {
        error = MailErrorText::Of(e);
        code = e.ErrorCode();
        // A server still in step is told goodbye; one whose answers make no sense is not.
        if (e.Fault() != TSmtpFault::BadReply) {
            try {
                c.Disconnect();
            } catch (const ESMTPException &quit) {
                qCWarning(lcMail, "QUIT after a failed send failed too: %s", quit.what());
            }
        }
    } catch (const std::exception &e) {
        error = MailErrorText::Unexpected(QString::fromLocal8Bit(e.what()));
    }
    // Whatever ended the send, its connection ends with it.
    c.Close();
    FRunning = false;
    emit Finished(error, code);
}
