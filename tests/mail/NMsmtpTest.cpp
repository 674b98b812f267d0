#include "mail/NMsmtp.h"

#include "mail/MailText.h"
#include "mail/TSmtpReply.h"
#include "tests/support/JapaneseText.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/ScriptedSmtpServer.h"
#include "tests/support/TempFolder.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QThread>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Runs a blocking call of the client on a thread of its own while this thread serves the server.
QString ErrorOf(const std::function<void()> &call, int *code = nullptr)
{
    std::atomic<bool> done{false};
    QString error;
    int errorCode = 0;
    std::thread worker([&] {
        try {
            call();
        } catch (const ESMTPException &e) {
            error = e.Message();
            errorCode = e.ErrorCode();
        }
        done = true;
        // A wake-up that hands no memory across: a posted functor would be freed on the other thread
        // behind Qt's own lock, which the race checker cannot see.
        QCoreApplication::instance()->thread()->eventDispatcher()->wakeUp();
    });
    const bool ended = WaitForEvents([&] { return done.load(); }, 30000);
    worker.join();
    EXPECT_TRUE(ended);
    if (code)
        *code = errorCode;
    return error;
}

class NMsmtpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        client.Host = QStringLiteral("127.0.0.1");
        client.Port = server.Port();
        client.UserID = QStringLiteral("torvexalin");
        client.SetTimeOut(20000);
        client.PostMessage.FromAddress = QStringLiteral("user@example.org");
        client.PostMessage.FromName = QStringLiteral("Pelmor User");
        client.PostMessage.LocalProgram = QStringLiteral("Pelmor Mail Client");
        client.PostMessage.Subject = QStringLiteral("s");
        client.PostMessage.ToAddress = {QStringLiteral("maker@example.net")};
        client.PostMessage.Body = {QStringLiteral("hello")};
    }
    QString Send()
    {
        return ErrorOf([this] {
            client.Connect();
            client.SendMail();
            client.Disconnect();
        });
    }
    QList<QByteArray> Commands() const { return server.Commands(); }

    TScriptedSmtpServer server;
    TNMSMTP client;
    TTempFolder temp;
};

// The wire form of a whole message: commands, recipients' bare addresses, every header and MIME line,
// dot stuffing, Base64 lines of 60 characters, and the closing dot.
TEST_F(NMsmtpTest, SendsTheMessageAsComposed)
{
    server.Greeting = "220-mail.example.net ESMTP\r\n220-second line\r\n220 ready\r\n";
    server.Reply("HELO", {"250-mail.example.net\r\n250 hello\r\n"});
    QByteArray bytes;
    for (int i = 0; i < 46; ++i)
        bytes += char(i * 7);
    client.PostMessage.Attachments = {temp.write("a.bin", bytes)};
    client.PostMessage.ToAddress = {QStringLiteral("Maker <maker@example.net>")};
    client.PostMessage.ToCarbonCopy = {QStringLiteral("SMTP:cc@example.net")};
    client.PostMessage.Date = QStringLiteral("Wed, 09 Dec 2026 11:05:27 +0900");
    client.PostMessage.Body = {QStringLiteral("first"), QStringLiteral("."), QStringLiteral(".hidden")};
    QStringList events;
    qint64 lastSent = 0, lastTotal = -1;
    client.OnEncodeStart = [&](const QString &name) { events << "encode " + name; };
    client.OnEncodeEnd = [&](const QString &name) { events << "encoded " + name; };
    client.OnSendStart = [&] { events << "start"; };
    client.OnSuccess = [&] { events << "success"; };
    client.OnConnect = [&] { events << "connect"; };
    client.OnDisconnect = [&] { events << "disconnect"; };
    client.OnPacketSent = [&](qint64 sent, qint64 total) { lastSent = sent, lastTotal = total; };

    ASSERT_EQ(Send(), QString());
    EXPECT_EQ(Commands(),
              (QList<QByteArray>{"HELO torvexalin", "RSET", "MAIL FROM:<user@example.org>",
                                 "RCPT TO:<maker@example.net>", "RCPT TO:<cc@example.net>", "DATA", "QUIT"}));
    EXPECT_EQ(events, (QStringList{"connect", "encode a.bin", "encoded a.bin", "start", "success", "disconnect"}));

    const QByteArray data = server.Data();
    const QRegularExpressionMatch b =
        QRegularExpression("boundary=\"(====================54535\\d\\d:\\d\\d:\\d\\d====)\"")
            .match(QString::fromLatin1(data));
    ASSERT_TRUE(b.hasMatch()) << data.toStdString();
    const QByteArray boundary = b.captured(1).toLatin1();
    const QByteArray expected =
        "From: Pelmor User<user@example.org>\r\nTo: Maker <maker@example.net>\r\nCC: SMTP:cc@example.net\r\n"
        "Subject: s\r\nX-Mailer: Pelmor Mail Client\r\nDate: Wed, 09 Dec 2026 11:05:27 +0900\r\nMime-Version: 1.0\r\n"
        "Content-Type: multipart/mixed;                   boundary=\""
        + boundary
        + "\"\r\n\r\n\r\n"
          "--"
        + boundary
        + "\r\nContent-Type: text/plain;                        charset=us-ascii\r\n\r\n"
          "first\r\n..\r\n..hidden\r\n"
          "--"
        + boundary
        + "\r\nContent-Type: application/octet-stream;          name=\"a.bin\"\r\n"
          "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;                 filename=\"a.bin\"\r\n\r\n"
        + bytes.left(45).toBase64() + "\r\n" + bytes.mid(45).toBase64()
        + "\r\n"
          "--"
        + boundary + "--\r\n.\r\n";
    EXPECT_EQ(data, expected);
    EXPECT_EQ(bytes.left(45).toBase64().size(), 60);
    EXPECT_TRUE(bytes.mid(45).toBase64().endsWith("==") && bytes.mid(45).toBase64().size() == 4);
    EXPECT_EQ(lastTotal, data.size());
    EXPECT_EQ(lastSent, lastTotal);
    EXPECT_TRUE(client.PostMessage.ToAddress.isEmpty() && client.PostMessage.ToCarbonCopy.isEmpty()
                && client.PostMessage.Attachments.isEmpty())
        << "a sent message leaves its recipients and attachments behind";
}

// Each refusal ends the send with the server's own words and nothing after it goes out.
TEST_F(NMsmtpTest, RefusalsEndTheSend)
{
    struct TCase {
        const char *verb;
        QByteArray reply;
        QString error;
        QByteArray lastCommand;
    };
    const QList<TCase> cases = {
        {"", "554 no service here\r\n", "554 no service here", ""},
        {"HELO", "550 who are you\r\n", "Authentication failed", "HELO torvexalin"},
        {"MAIL", "451 try later\r\n", "451 try later", "MAIL FROM:<user@example.org>"},
        {"DATA", "554-no\r\n554 data\r\n", "554-no\n554 data", "DATA"},
    };
    for (const TCase &c : cases) {
        TScriptedSmtpServer refusing;
        client.Port = refusing.Port();
        client.PostMessage.ToAddress = {QStringLiteral("maker@example.net")};
        if (*c.verb)
            refusing.Reply(c.verb, {c.reply});
        else
            refusing.Greeting = c.reply;
        EXPECT_EQ(ErrorOf([this] {
                      client.Connect();
                      client.SendMail();
                  }),
                  c.error)
            << c.verb;
        const QList<QByteArray> commands = refusing.Commands();
        EXPECT_EQ(commands.isEmpty() ? QByteArray() : commands.last(), c.lastCommand) << c.verb;
        EXPECT_TRUE(refusing.Data().isEmpty());
        ErrorOf([this] { client.Disconnect(); });
    }

    bool failed = false;
    client.OnFailure = [&] { failed = true; };
    client.Port = server.Port();
    server.DataReply = "552 message too big\r\n";
    EXPECT_EQ(Send(), "552 message too big");
    EXPECT_TRUE(failed) << "a refused message reports a failure";
}

// One unknown recipient does not keep the message from the others.
TEST_F(NMsmtpTest, RefusedRecipientGoesOnWithTheOthers)
{
    server.Reply("RCPT", {"550 no such user\r\n", "250 OK\r\n"});
    client.PostMessage.ToAddress = {QStringLiteral("gone@example.net"), QStringLiteral("maker@example.net")};
    QStringList notFound;
    client.OnRecipientNotFound = [&](const QString &address) { notFound << address; };
    EXPECT_EQ(Send(), QString());
    EXPECT_EQ(notFound, QStringList{"gone@example.net"});
    EXPECT_TRUE(server.Data().endsWith("\r\n.\r\n"));
}

// Replies and values from outside cannot break the conversation or smuggle lines into it.
TEST_F(NMsmtpTest, HostileRepliesAndValuesAreRefused)
{
    const QList<QByteArray> greetings = {"hello there\r\n", "220 " + QByteArray(5000, 'x') + "\r\n",
                                         QByteArray("220-more\r\n").repeated(TSmtpReply::MaxLines + 1)};
    for (const QByteArray &greeting : greetings) {
        TScriptedSmtpServer hostile;
        hostile.Greeting = greeting;
        client.Port = hostile.Port();
        EXPECT_FALSE(ErrorOf([this] { client.Connect(); }).isEmpty()) << greeting.left(20).toStdString();
        EXPECT_FALSE(client.Connected());
        EXPECT_TRUE(hostile.Commands().isEmpty()) << "no HELO after a greeting that is not one";
    }

    client.Port = server.Port();
    client.PostMessage.Subject = QStringLiteral("s\r\nBcc: victim@example.com");
    client.ComposeMessage();
    EXPECT_TRUE(client.FinalHeader().contains("Subject: s  Bcc: victim@example.com"));
    client.PostMessage.ToAddress = {QStringLiteral("maker@example.net\r\nDATA")};
    EXPECT_TRUE(Send().startsWith("Invalid character"));
    EXPECT_FALSE(Commands().contains("DATA")) << "no command of the value's own reaches the server";
}

// A server that falls silent mid-conversation ends the wait after the time-out, and an abort from
// another thread ends it at once; either way the server sees the connection closed, not left open.
TEST_F(NMsmtpTest, SilentServerTimesOutAndAbortEndsTheWait)
{
    server.Reply("RSET", {""});
    client.SetTimeOut(200);
    int code = 0;
    EXPECT_FALSE(ErrorOf(
                     [this] {
                         client.Connect();
                         client.SendMail();
                     },
                     &code)
                     .isEmpty());
    EXPECT_EQ(code, TLineSocket::errTimeOut);
    EXPECT_FALSE(client.Connected());
    EXPECT_TRUE(WaitForEvents([this] { return server.PeerClosed(); }, 10000)) << "timed-out connection left open";

    TScriptedSmtpServer silent;
    silent.Reply("RSET", {""});
    client.Port = silent.Port();
    client.SetTimeOut(3600 * 1000);
    client.PostMessage.ToAddress = {QStringLiteral("maker@example.net")};
    std::thread aborter;
    const QString error = ErrorOf(
        [&] {
            client.Connect();
            aborter = std::thread([&] {
                while (!client.Busy())
                    std::this_thread::yield();
                client.Abort();
            });
            client.SendMail();
        },
        &code);
    aborter.join();
    EXPECT_EQ(code, TLineSocket::errAborted) << error.toStdString();
    EXPECT_TRUE(WaitForEvents([&] { return silent.PeerClosed(); }, 10000)) << "aborted connection left open";
}

// A message that cannot be made whole never reaches the server: not one of its commands is sent.
TEST_F(NMsmtpTest, IncompleteMessageSendsNothing)
{
    QDir(temp.path()).mkdir("folder");
    for (const QString &attachment : {temp.file("missing.jpg"), temp.file("folder")}) {
        TScriptedSmtpServer fresh;
        client.Port = fresh.Port();
        client.PostMessage.Attachments = {temp.write("good.jpg", "x"), attachment};
        EXPECT_TRUE(ErrorOf([this] {
                        client.Connect();
                        client.SendMail();
                    }).contains(attachment));
        EXPECT_EQ(fresh.Commands(), QList<QByteArray>{"HELO torvexalin"});
        EXPECT_TRUE(client.Body().isEmpty() && client.FinalHeader().isEmpty());
        ErrorOf([this] { client.Disconnect(); });
    }

    bool incomplete = false;
    client.OnHeaderIncomplete = [&] { incomplete = true; };
    client.Port = server.Port();
    client.PostMessage.Attachments.clear();
    client.PostMessage.ToAddress.clear();
    EXPECT_EQ(ErrorOf([this] {
                  client.Connect();
                  client.SendMail();
              }),
              "Incomplete Header");
    EXPECT_TRUE(incomplete);
    EXPECT_FALSE(Commands().contains("RSET"));
}

TEST_F(NMsmtpTest, RefusedConnectionIsReported)
{
    client.Port = UnusedLoopbackPort();
    bool failed = false;
    client.OnConnectionFailed = [&] { failed = true; };
    int code = 0;
    ErrorOf([this] { client.Connect(); }, &code);
    EXPECT_TRUE(failed);
    EXPECT_EQ(code, 10061);
}

TEST_F(NMsmtpTest, VerifyAndExpand)
{
    server.Reply("VRFY", {"250 known\r\n", "550 unknown\r\n"});
    server.Reply("EXPN", {"250-first@example.net\r\n250 second@example.net\r\n"});
    bool known = false, unknown = true;
    QStringList list;
    client.OnMailListReturn = [&](const QString &line) { list << line; };
    EXPECT_EQ(ErrorOf([&] {
                  client.Connect();
                  known = client.Verify("a");
                  unknown = client.Verify("b");
                  client.ExpandList("staff");
              }),
              QString());
    EXPECT_TRUE(known);
    EXPECT_FALSE(unknown);
    EXPECT_EQ(list, QStringList{"250-first@example.net"});
}

// Japanese text travels as JIS in seven bits and says so: in the subject's encoded word and the body.
TEST(MailTextTest, JapaneseGoesOutAsJisAndIsLabelled)
{
    const QByteArray jis = JapaneseText::Iconv("UTF-8", "ISO-2022-JP", QStringLiteral("感想").toUtf8());
    ASSERT_FALSE(jis.isEmpty());
    EXPECT_EQ(MailText::EncodedWord(QStringLiteral("感想")),
              "=?ISO-2022-JP?B?" + QString::fromLatin1(jis.toBase64()) + "?=");

    TNMSMTP client;
    client.PostMessage.Body = {QStringLiteral("試用しました。"), QStringLiteral(".")};
    client.ComposeMessage();
    EXPECT_EQ(client.FinalHeader().last(), "Content-Type: text/plain;                        charset=ISO-2022-JP");
    EXPECT_EQ(client.Body(),
              JapaneseText::Iconv("UTF-8", "ISO-2022-JP", QStringLiteral("試用しました。").toUtf8()) + "\r\n..\r\n");
    EXPECT_EQ(MailText::MimeName(QStringLiteral("a\"b.jpg")), "a_b.jpg");
    EXPECT_EQ(MailText::MimeName(QStringLiteral("メモ.txt")),
              "=?UTF-8?B?" + QStringLiteral("メモ.txt").toUtf8().toBase64() + "?=");

    const QDateTime east(QDate(2026, 12, 9), QTime(11, 5, 27), QTimeZone(9 * 3600));
    const QDateTime west(QDate(2026, 3, 1), QTime(8, 0, 0), QTimeZone(-(3 * 3600 + 30 * 60)));
    EXPECT_EQ(MailText::Rfc5322Date(east), "Wed, 09 Dec 2026 11:05:27 +0900");
    EXPECT_EQ(MailText::Rfc5322Date(west), "Sun, 01 Mar 2026 08:00:00 -0330");
}

} // namespace
