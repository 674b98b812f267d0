#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <memory>
#include <vector>

// Pumps the calling thread's events until done() holds; false when timeoutMs passed first.
bool WaitForEvents(const std::function<bool()> &done, int timeoutMs = 5000);

// A loopback port on which nothing listens at the moment of the call.
quint16 UnusedLoopbackPort();

class QProcess;
// Ends a server process of a test: asked first, killed when it does not go.
void StopProcess(QProcess &process);

// A TCP server on 127.0.0.1 (or another loopback address) for wire-level tests: it records the exact bytes each connection
// sends and, once a request has arrived (a blank line), plays a scripted answer step by step. A
// connection whose script ended without closing answers its next request with the next script.
// It lives on the thread that made it and runs while that thread pumps events.
class TScriptedServer
{
public:
    struct TStep {
        enum TKind { Send, Pause, Close } Kind;
        QByteArray Data;
    };
    static TStep Send(const QByteArray &bytes) { return {TStep::Send, bytes}; }
    // Holds the answer until Continue(): the peer has the bytes sent so far and nothing more.
    static TStep Pause() { return {TStep::Pause, {}}; }
    // Closes gracefully after the bytes sent so far. A script without it keeps the connection open.
    static TStep Close() { return {TStep::Close, {}}; }

    // startOnAccept: play at once instead of waiting for a request.
    explicit TScriptedServer(bool startOnAccept = false, const QHostAddress &address = QHostAddress::LocalHost);
    ~TScriptedServer();

    quint16 Port() const { return FServer.serverPort(); }
    QString Url(const QString &path = QStringLiteral("/")) const;

    // The script of the next request that opens or reuses a connection; later ones replay the last one.
    void Play(const QList<TStep> &script);
    // Resumes the paused connection.
    void Continue();
    bool Paused() const;
    int Connections() const { return static_cast<int>(FConns.size()); }
    // Request n (from 0) received on connection i, up to and with its blank line; empty when none.
    QByteArray Head(int i, int n) const;
    // Requests answered (or being answered) on connection i.
    int Requests(int i = 0) const;
    // Requests answered on every connection together: what a client asked for, however it kept them.
    int AllRequests() const;
    // Bytes received on connection i (the first by default).
    QByteArray Request(int i = 0) const;
    // The peer of connection i has closed it.
    bool PeerClosed(int i = 0) const;

private:
    struct TConnection {
        QTcpSocket *Socket = nullptr;
        QList<TStep> Script;
        int Next = 0;
        bool Paused = false;
        bool Closed = false;
        bool Closing = false;
        int Answered = 0;
        QByteArray Received;
    };

    void Accept();
    QList<TStep> NextScript();
    // Starts the script of a request that arrived whole, once the last one has been played.
    void Answer(TConnection &c);
    void Run(TConnection &c);

    QTcpServer FServer;
    bool FStartOnAccept;
    QList<QList<TStep>> FScripts;
    std::vector<std::unique_ptr<TConnection>> FConns;
};
