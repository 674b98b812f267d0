#include "tests/support/ScriptedSmtpServer.h"

TScriptedSmtpServer::TScriptedSmtpServer()
{
    QObject::connect(&FServer, &QTcpServer::newConnection, &FServer, [this] { Accept(); });
    FServer.listen(QHostAddress::LocalHost, 0);
}

void TScriptedSmtpServer::Accept()
{
    while (QTcpSocket *socket = FServer.nextPendingConnection()) {
        ++FConnections;
        socket->setParent(&FServer);
        FSocket = socket;
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this] { Read(); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this] { FPeerClosed = true; });
        if (!Greeting.isEmpty())
            socket->write(Greeting);
    }
}

QByteArray TScriptedSmtpServer::Answer(const QByteArray &verb)
{
    const auto it = FReplies.constFind(verb);
    if (it == FReplies.constEnd() || it->isEmpty())
        return verb == "DATA" ? "354 go ahead\r\n" : "250 OK\r\n";
    const int used = FUsed[verb]++;
    return it->at(std::min<qsizetype>(used, it->size() - 1));
}

void TScriptedSmtpServer::Read()
{
    FPending += FSocket->readAll();
    for (;;) {
        if (FInData) {
            const qsizetype end = FPending.indexOf("\r\n.\r\n");
            if (end < 0)
                return;
            FData += FPending.left(end + 5);
            FPending.remove(0, end + 5);
            FInData = false;
            FSocket->write(DataReply);
            continue;
        }
        const qsizetype end = FPending.indexOf("\r\n");
        if (end < 0)
            return;
        const QByteArray line = FPending.left(end);
        FPending.remove(0, end + 2);
        FCommands.append(line);
        const QByteArray verb = line.split(' ').first().split(':').first().toUpper();
        const QByteArray reply = Answer(verb);
        FSocket->write(reply);
        if (verb == "DATA" && reply.startsWith('3')) {
            FInData = true;
            FData.clear();
        }
    }
}
