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
        c.Script = FScripts.size() > 1 ? FScripts.takeFirst() : FScripts.value(0);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, &c] {
            c.Received += c.Socket->readAll();
            if (!c.Started && c.Received.contains("\r\n\r\n"))
                Run(c);
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [&c] { c.Closed = true; });
        if (FStartOnAccept)
            Run(c);
    }
}

void TScriptedServer::Run(TConnection &c)
{
    c.Started = true;
    c.Paused = false;
    while (c.Next < c.Script.size()) {
        const TStep &step = c.Script.at(c.Next++);
        if (step.Kind == TStep::Pause) {
            c.Paused = true;
            return;
        }
        if (step.Kind == TStep::Close) {
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
        if (c->Paused)
            Run(*c);
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
