#include "download/WSocket.h"

#include "download/WSendQueue.h"
#include "download/WSocketErrors.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestBytes.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {
void ConnectTo(TWSocket &s, quint16 port)
{
    s.Addr = QStringLiteral("127.0.0.1");
    s.Port = QString::number(port);
    s.Connect();
}
} // namespace

// Catches a numeric name that waits for the event loop, and a real name looked up blocking the
// caller or answering on another thread.
TEST(WSocketLookup, NumericNamesAnswerInsideTheCallOthersLater)
{
    TWSocket s;
    QList<int> done;
    s.OnDnsLookupDone = [&](TWSocket *, quint16 error) { done << error; };
    s.DnsLookup(QStringLiteral("192.0.2.7"));
    EXPECT_EQ(done, QList<int>{0});
    EXPECT_EQ(s.DnsResult(), QStringLiteral("192.0.2.7"));

    s.DnsLookup(QStringLiteral("localhost"));
    EXPECT_EQ(done.size(), 1);
    ASSERT_TRUE(WaitForEvents([&] { return done.size() == 2; }));
    EXPECT_EQ(done[1], 0);
    EXPECT_TRUE(s.DnsResultList().contains("127.0.0.1") || s.DnsResultList().contains("::1"));
}

// Catches an empty name that never answers (a client waiting would hang), a send on a dead socket
// that claims success, and an error that throws past an OnError handler or vanishes without one.
TEST(WSocketErrors, EmptyNameAndSendWithoutConnectionReportAtOnce)
{
    TWSocket s;
    QList<int> done;
    QStringList errors;
    s.OnDnsLookupDone = [&](TWSocket *, quint16 error) { done << error; };
    s.OnError = [&](TWSocket *, quint16 code, const QString &text) { errors << QString::number(code) + ' ' + text; };
    s.DnsLookup(QString());
    EXPECT_EQ(done, QList<int>{10022});
    EXPECT_EQ(s.Send("x", 1), -1);
    EXPECT_EQ(errors, (QStringList{"10022 DNS lookup: invalid host name.",
                                   "10057 Error 10057 in function Send\r\nSocket is not connected"}));
    s.OnError = nullptr;
    EXPECT_THROW(s.DnsLookup(QString()), ESocketException);
    EXPECT_THROW(s.Send("x", 1), ESocketException);
}

// Catches a send queue that splits, reorders or loses bytes between its blocks.
TEST(WSocketSend, QueueFillsBlocksOf1514InOrder)
{
    const QByteArray data = Pattern(5000);
    TSendQueue q;
    q.Append(data.constData(), 3000);
    q.Append(data.constData() + 3000, 2000);
    EXPECT_EQ(q.BlockSizes(), (std::vector<int>{1514, 1514, 1514, 458}));

    QByteArray out;
    for (int len = 0; !q.IsEmpty(); q.Consume(len)) {
        const char *p = q.Front(len);
        len = std::min(len, 1000); // the network takes part of a block
        out.append(p, len);
    }
    EXPECT_EQ(out, data);
    q.Append("ab", 2);
    EXPECT_EQ(q.BlockSizes(), std::vector<int>{2}) << "the emptied last block is filled again from its start";
}

// Catches a refused connect reported as success, without its WinSock number, or closed twice.
TEST(WSocketConnect, RefusedConnectionReports10061ThenClosesOnce)
{
    TWSocket s;
    QList<int> connected, closed;
    s.OnSessionConnected = [&](TWSocket *, quint16 error) { connected << error; };
    s.OnSessionClosed = [&](TWSocket *, quint16 error) { closed << error; };
    ConnectTo(s, UnusedLoopbackPort());
    ASSERT_TRUE(WaitForEvents([&] { return !closed.isEmpty(); }));
    EXPECT_EQ(connected, QList<int>{10061});
    EXPECT_EQ(closed.size(), 1);
    EXPECT_EQ(WSocketErrorDesc(s.LastError()), QStringLiteral("Connection refused"));
    EXPECT_EQ(s.State(), wsClosed);
}

// Catches Connect looking a name up on the spot (a blocking lookup that would freeze the GUI
// thread) instead of refusing it at once, and a handler's exception that escapes into the event
// loop or leaves the connection open.
TEST(WSocketConnect, RefusesNamesAndKeepsHandlerExceptionsInside)
{
    TWSocket s;
    QStringList errors;
    s.OnError = [&](TWSocket *, quint16 code, const QString &text) { errors << QString::number(code) + ' ' + text; };
    s.Addr = QStringLiteral("localhost");
    s.Port = QStringLiteral("80");
    s.Connect();
    EXPECT_EQ(errors, QStringList{"10022 Error 10022 in function Connect (address)\r\nInvalid argument"});
    EXPECT_EQ(s.State(), wsClosed);

    TScriptedServer server;
    server.Play({});
    QList<int> closed;
    s.OnSessionConnected = [](TWSocket *, quint16) { throw std::runtime_error("handler failed"); };
    s.OnSessionClosed = [&](TWSocket *, quint16 error) { closed << error; };
    ConnectTo(s, server.Port());
    ASSERT_TRUE(WaitForEvents([&] { return !closed.isEmpty() && server.PeerClosed(); }));
    EXPECT_EQ(closed, QList<int>{0});
    EXPECT_EQ(s.State(), wsClosed);
}

// Catches data lost at the peer's close, a close event before the last data, read events that
// stop while data still waits, a second close event, and settings kept after a close.
TEST(WSocketConnection, DeliversAllDataBeforeTheRemoteCloseAndResetsDefaults)
{
    const QByteArray answer = Pattern(300000);
    TScriptedServer server(true);
    server.Play({TScriptedServer::Pause(), TScriptedServer::Send(answer), TScriptedServer::Close()});
    TWSocket s;
    QByteArray received;
    QStringList events;
    s.OnSessionConnected = [&](TWSocket *, quint16 error) { events << QStringLiteral("connected %1").arg(error); };
    s.OnDataAvailable = [&](TWSocket *sock, quint16) {
        char buf[8192];
        received.append(buf, std::max(0, sock->Receive(buf, sizeof buf)));
    };
    s.OnSessionClosed = [&](TWSocket *, quint16 error) {
        events << QStringLiteral("closed %1 after %2").arg(error).arg(received.size());
    };
    s.LingerOnOff = wsLingerOff;
    ConnectTo(s, server.Port());
    ASSERT_TRUE(WaitForEvents([&] { return s.State() == wsConnected && server.Paused(); }));

    const QByteArray request(5000, 'r');
    EXPECT_EQ(s.Send(request.constData(), request.size()), 5000);
    ASSERT_TRUE(WaitForEvents([&] { return server.Request() == request; }));
    server.Continue();
    ASSERT_TRUE(WaitForEvents([&] { return s.State() == wsClosed; }));
    EXPECT_EQ(received, answer);
    EXPECT_EQ(events, (QStringList{"connected 0", "closed 0 after 300000"}));

    s.Close();
    EXPECT_EQ(events.size(), 2);
    EXPECT_EQ((QStringList{s.Addr, s.Port, s.Proto}), (QStringList{"", "", "tcp"}));
    EXPECT_EQ(s.LingerOnOff, wsLingerOn);
    EXPECT_EQ(s.LingerTimeout, 0);
}

// Catches a local close that raises its event twice or leaves the peer waiting.
TEST(WSocketConnection, CloseTwiceRaisesOneEventAndReachesThePeer)
{
    TScriptedServer server(true);
    server.Play({});
    TWSocket s;
    int closed = 0;
    s.OnSessionClosed = [&](TWSocket *, quint16) { ++closed; };
    ConnectTo(s, server.Port());
    ASSERT_TRUE(WaitForEvents([&] { return s.State() == wsConnected && server.Connections() == 1; }));
    s.Close();
    s.Close();
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(WaitForEvents([&] { return server.PeerClosed(); }));
}
