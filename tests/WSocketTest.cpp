#include "ScriptedServer.h"
#include "WSendQueue.h"
#include "WSocket.h"
#include "WSocketErrors.h"

#include <gtest/gtest.h>

namespace {
struct TErrorLog
{
    QList<int> Codes;
    QStringList Texts;
    void Attach(TWSocket &s)
    {
        s.OnError = [this](TWSocket *, quint16 code, const QString &text) {
            Codes << code;
            Texts << text;
        };
    }
};
} // namespace

// Catches a lookup that waits for the event loop when no lookup is needed, and an empty name
// that never answers (a client waiting for it would hang).
TEST(WSocketLookup, NumericAndEmptyNamesAnswerInsideTheCall)
{
    TWSocket s;
    QList<int> done;
    s.OnDnsLookupDone = [&](TWSocket *, quint16 error) { done << error; };

    s.DnsLookup(QStringLiteral("192.0.2.7"));
    EXPECT_EQ(done, QList<int>{0});
    EXPECT_EQ(s.DnsResult(), QStringLiteral("192.0.2.7"));

    TErrorLog errors;
    errors.Attach(s);
    s.DnsLookup(QString());
    EXPECT_EQ(done, (QList<int>{0, 10022}));
    EXPECT_EQ(errors.Texts, QStringList{QStringLiteral("DNS lookup: invalid host name.")});

    s.OnError = nullptr;
    EXPECT_THROW(s.DnsLookup(QString()), ESocketException);
}

// Catches a name lookup that blocks the caller or reports on another thread.
TEST(WSocketLookup, NameLookupEndsLaterOnTheOwningThread)
{
    TWSocket s;
    QList<int> done;
    s.OnDnsLookupDone = [&](TWSocket *, quint16 error) { done << error; };
    s.DnsLookup(QStringLiteral("localhost"));
    EXPECT_TRUE(done.isEmpty());
    ASSERT_TRUE(WaitForEvents([&] { return !done.isEmpty(); }));
    EXPECT_EQ(done, QList<int>{0});
    EXPECT_TRUE(s.DnsResultList().contains(QStringLiteral("127.0.0.1")) || s.DnsResultList().contains(QStringLiteral("::1")));
}

// Catches a send on a dead socket that claims success or throws past an OnError handler.
TEST(WSocketSend, SendWithoutConnectionReports10057)
{
    TWSocket s;
    TErrorLog errors;
    errors.Attach(s);
    EXPECT_EQ(s.Send("x", 1), -1);
    EXPECT_EQ(errors.Codes, QList<int>{10057});
    EXPECT_EQ(errors.Texts.value(0), QStringLiteral("Error 10057 in function Send\r\nSocket is not connected"));

    s.OnError = nullptr;
    try {
        s.Send("x", 1);
        FAIL() << "no exception";
    } catch (const ESocketException &e) {
        EXPECT_EQ(e.ErrorCode(), 10057);
    }
}

// Catches a send queue that splits, reorders or loses bytes between its blocks.
TEST(WSocketSend, QueueFillsBlocksOf1514InOrder)
{
    QByteArray data(5000, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i % 251);
    TSendQueue q;
    q.Append(data.constData(), 3000);
    q.Append(data.constData() + 3000, 2000);
    EXPECT_EQ(q.BlockSizes(), (std::vector<int>{1514, 1514, 1514, 458}));

    QByteArray out;
    while (!q.IsEmpty()) {
        int len = 0;
        const char *p = q.Front(len);
        const int take = std::min(len, 1000); // the network takes part of a block
        out.append(p, take);
        q.Consume(take);
    }
    EXPECT_EQ(out, data);
    // The last block stays and is filled again from its start.
    q.Append("ab", 2);
    EXPECT_EQ(q.BlockSizes(), std::vector<int>{2});
}

// Catches a refused connect reported as success, without its WinSock number, or closed twice.
TEST(WSocketConnect, RefusedConnectionReports10061ThenClosesOnce)
{
    TWSocket s;
    QList<int> connected, closed;
    s.OnSessionConnected = [&](TWSocket *, quint16 error) { connected << error; };
    s.OnSessionClosed = [&](TWSocket *, quint16 error) { closed << error; };
    s.Addr = QStringLiteral("127.0.0.1");
    s.Port = QString::number(UnusedLoopbackPort());
    s.Connect();
    ASSERT_TRUE(WaitForEvents([&] { return !closed.isEmpty(); }));
    EXPECT_EQ(connected, QList<int>{10061});
    EXPECT_EQ(closed.size(), 1);
    EXPECT_EQ(s.LastError(), 10061);
    EXPECT_EQ(WSocketErrorDesc(s.LastError()), QStringLiteral("Connection refused"));
    EXPECT_EQ(s.State(), wsClosed);
}

// Catches data lost at the peer's close, a close event before the last data, read events
// that stop while data still waits, a second close event, and settings kept after a close.
TEST(WSocketConnection, DeliversAllDataBeforeTheRemoteCloseAndResetsDefaults)
{
    QByteArray answer(300000, Qt::Uninitialized);
    for (int i = 0; i < answer.size(); ++i)
        answer[i] = static_cast<char>(i * 7);
    TScriptedServer server(true);
    server.Play({TScriptedServer::Pause(), TScriptedServer::Send(answer), TScriptedServer::Close()});

    TWSocket s;
    QByteArray received;
    QStringList events;
    s.OnSessionConnected = [&](TWSocket *, quint16 error) { events << QStringLiteral("connected %1").arg(error); };
    s.OnDataAvailable = [&](TWSocket *sock, quint16) {
        char buf[8192];
        const int n = sock->Receive(buf, sizeof buf);
        if (n > 0)
            received.append(buf, n);
    };
    s.OnSessionClosed = [&](TWSocket *, quint16 error) {
        events << QStringLiteral("closed %1 after %2").arg(error).arg(received.size());
    };
    s.Addr = QStringLiteral("127.0.0.1");
    s.Port = QString::number(server.Port());
    s.LingerOnOff = wsLingerOff;
    s.Connect();
    ASSERT_TRUE(WaitForEvents([&] { return s.State() == wsConnected && server.Paused(); }));

    const QByteArray request(5000, 'r');
    EXPECT_EQ(s.Send(request.constData(), request.size()), 5000);
    ASSERT_TRUE(WaitForEvents([&] { return server.Request().size() == 5000; }));
    EXPECT_EQ(server.Request(), request);

    server.Continue();
    ASSERT_TRUE(WaitForEvents([&] { return s.State() == wsClosed; }));
    EXPECT_EQ(received, answer);
    EXPECT_EQ(events, (QStringList{QStringLiteral("connected 0"), QStringLiteral("closed 0 after 300000")}));

    s.Close();
    EXPECT_EQ(events.size(), 2);
    EXPECT_TRUE(s.Addr.isEmpty());
    EXPECT_TRUE(s.Port.isEmpty());
    EXPECT_EQ(s.Proto, QStringLiteral("tcp"));
    EXPECT_EQ(s.LingerOnOff, wsLingerOn);
    EXPECT_EQ(s.LingerTimeout, 0);
}

// Catches a local close that raises its event twice or leaves the peer waiting.
TEST(WSocketConnection, CloseTwiceRaisesOneEventAndTheDefaultCloseResets)
{
    TScriptedServer server(true);
    server.Play({});
    TWSocket s;
    int closed = 0;
    s.OnSessionClosed = [&](TWSocket *, quint16) { ++closed; };
    s.Addr = QStringLiteral("127.0.0.1");
    s.Port = QString::number(server.Port());
    s.Connect();
    ASSERT_TRUE(WaitForEvents([&] { return s.State() == wsConnected && server.Connections() == 1; }));
    s.Close();
    s.Close();
    EXPECT_EQ(closed, 1);
    ASSERT_TRUE(WaitForEvents([&] { return server.PeerClosed(); }));
}
