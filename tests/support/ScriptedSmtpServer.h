#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

// An SMTP server on 127.0.0.1 that answers each command from a script and records what arrived.
// It lives on the thread that made it and runs while that thread pumps events.
class TScriptedSmtpServer
{
public:
    TScriptedSmtpServer();

    quint16 Port() const { return FServer.serverPort(); }
    // Sent on connection; empty: the server says nothing at all.
    QByteArray Greeting = "220 scripted ESMTP\r\n";
    // The replies to a command (its first word, upper case), used in order, the last one repeated.
    // A command without a script gets "250 OK"; DATA gets "354 go ahead".
    void Reply(const QByteArray &verb, const QList<QByteArray> &replies) { FReplies[verb] = replies; }
    // The reply after the message's closing dot.
    QByteArray DataReply = "250 queued\r\n";

    int Connections() const { return FConnections; }
    // Command lines received, without their CR LF.
    const QList<QByteArray> &Commands() const { return FCommands; }
    // The message as it arrived after DATA, up to and including the closing "\r\n.\r\n".
    const QByteArray &Data() const { return FData; }
    bool PeerClosed() const { return FPeerClosed; }

private:
    void Accept();
    void Read();
    QByteArray Answer(const QByteArray &verb);

    QTcpServer FServer;
    QTcpSocket *FSocket = nullptr;
    QHash<QByteArray, QList<QByteArray>> FReplies;
    QHash<QByteArray, int> FUsed;
    QList<QByteArray> FCommands;
    QByteArray FPending;
    QByteArray FData;
    bool FInData = false;
    bool FPeerClosed = false;
    int FConnections = 0;
};
