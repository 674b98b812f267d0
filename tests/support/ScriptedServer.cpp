#include "tests/support/ScriptedServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTimer>

bool WaitForEvents(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    // The timer wakes the wait when nothing else happens before the deadline.
    QTimer wake;
    wake.start(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

quint16 UnusedLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void StopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

TScriptedServer::TScriptedServer(bool startOnAccept, const QHostAddress &address) : FStartOnAccept(startOnAccept)
{
    QObject::connect(&FServer, &QTcpServer::newConnection, &FServer, [this] { Accept(); });
    FServer.listen(address, 0);
}

TScriptedServer::~TScriptedServer()
{
    for (auto &c : FConns)
        c->Socket->abort();
}

QString TScriptedServer::Url(const QString &path) const
{
    return QStringLiteral("http://%1:%2%3").arg(FServer.serverAddress().toString()).arg(Port()).arg(path);
}

void TScriptedServer::Play(const QList<TStep> &script)
{
    FScripts << script;
}

void TScriptedServer::Accept()
{
    while (QTcpSocket *socket = FServer.nextPendingConnection()) {
        FConns.push_back(std::make_unique<TConnection>());
        TConnection &c = *FConns.back();
        c.Socket = socket;
        c.Script = NextScript();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, &c] {
            c.Received += c.Socket->readAll();
            Answer(c);
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [&c] { c.Closed = true; });
        if (FStartOnAccept) {
            c.Answered = 1;
            Run(c);
        }
    }
}

QList<TScriptedServer::TStep> TScriptedServer::NextScript()
{
    return FScripts.size() > 1 ? FScripts.takeFirst() : FScripts.value(0);
}

void TScriptedServer::Answer(TConnection &c)
{
    while (!c.Paused && !c.Closing && (c.Answered == 0 || c.Next >= c.Script.size())
           && c.Received.count("\r\n\r\n") > c.Answered) {
        if (c.Answered++ > 0) {
            c.Script = NextScript();
            c.Next = 0;
        }
        Run(c);
    }
}

QByteArray TScriptedServer::Head(int i, int n) const
{
    const QByteArray all = Request(i);
    qsizetype from = 0;
    for (int k = 0; k < n && from >= 0; ++k)
        from = all.indexOf("\r\n\r\n", from) + 4;
    const qsizetype end = from >= 4 || n == 0 ? all.indexOf("\r\n\r\n", from) : -1;
    return end < 0 ? QByteArray() : all.mid(from, end + 4 - from);
}

int TScriptedServer::Requests(int i) const
{
    return i < Connections() ? FConns.at(static_cast<size_t>(i))->Answered : 0;
}

int TScriptedServer::AllRequests() const
{
    int all = 0;
    for (int i = 0; i < Connections(); ++i)
        all += Requests(i);
    return all;
}

void TScriptedServer::Run(TConnection &c)
{
    c.Paused = false;
    while (c.Next < c.Script.size()) {
        const TStep &step = c.Script.at(c.Next++);
        if (step.Kind == TStep::Pause) {
            c.Paused = true;
            return;
        }
        if (step.Kind == TStep::Close) {
            c.Closing = true;
            c.Socket->disconnectFromHost();
            return;
        }
        c.Socket->write(step.Data);
        c.Socket->flush();
    }
}

void TScriptedServer::Continue()
{
    for (auto &c : FConns)
        if (c->Paused) {
            Run(*c);
            Answer(*c);
        }
}

bool TScriptedServer::Paused() const
{
    for (const auto &c : FConns)
        if (c->Paused)
            return true;
    return false;
}

QByteArray TScriptedServer::Request(int i) const
{
    return i < Connections() ? FConns.at(static_cast<size_t>(i))->Received : QByteArray();
}

bool TScriptedServer::PeerClosed(int i) const
{
    return i < Connections() && FConns.at(static_cast<size_t>(i))->Closed;
}
