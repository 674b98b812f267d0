// The mail client talking to any server: a server thread on 127.0.0.1 plays the input as all of its
// replies and closes; the client must end every operation with a result or its own error, and never
// hold more reply than the server gave it.
#include "mail/NMsmtp.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/TAnswerServer.h"

#include <cstdint>

namespace {
TAnswerServer *Server = nullptr;
QString Attachment;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::StartApplication();
    Server = new TAnswerServer(QByteArray());
    Server->Start();
    Attachment = FuzzSupport::WriteScratch("attached bytes", 14);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray replies(reinterpret_cast<const char *>(data), qsizetype(size));
    Server->SetAnswer(replies);

    TNMSMTP client;
    client.Host = QStringLiteral("127.0.0.1");
    client.Port = Server->Port();
    client.UserID = QStringLiteral("torvexalin");
    // The server always closes, so an operation that waits this long is a hang of the client's own.
    client.SetTimeOut(10000);
    TPostMessage &m = client.PostMessage;
    m.FromAddress = QStringLiteral("a@example.org");
    m.ToAddress = {QStringLiteral("b@example.net"), QStringLiteral("c@example.net")};
    m.Body = {QStringLiteral("."), QStringLiteral("text")};
    m.Attachments = {Attachment};
    QString listLine;
    client.OnMailListReturn = [&](const QString &line) { listLine = line; };
    try {
        client.Connect();
        client.Verify(QStringLiteral("a"));
        client.ExpandList(QStringLiteral("b"));
        client.SendMail();
        client.Disconnect();
    } catch (const ESMTPException &e) {
        FuzzSupport::Check(e.ErrorCode() != 10060, "a server that closes is not waited for");
    }
    FuzzSupport::Check(!client.Busy(), "no operation is left under way");
    FuzzSupport::Check(client.ReplyText().size() <= replies.size(), "no more reply text than the server sent");
    FuzzSupport::Check(listLine.size() <= replies.size(), "no more list text than the server sent");
    return 0;
}
