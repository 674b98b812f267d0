#include "core/TSingleInstance.h"

#include "core/Brdcast.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <unistd.h>

namespace {

const QByteArray RaiseRequest = QByteArrayLiteral("raise\n");
// Longer than any request: a client sending more without a line end is not one of ours.
constexpr qint64 MaxRequest = 64;
// A live copy accepts at once (the system queues the connection); these only bound a hang.
constexpr int AnswerWaitMs = 2000;
constexpr int LockWaitMs = 5000;

} // namespace

TSingleInstance::TSingleInstance(const QString &ServerName, QObject *parent)
    : QObject(parent), FServerName(ServerName), FServer(new QLocalServer(this))
{
    connect(FServer, &QLocalServer::newConnection, this, &TSingleInstance::Accept);
}

QString TSingleInstance::DefaultServerName()
{
    const QString folder = TBroadcast::UserRuntimeFolder();
    // Without a private folder the shared temporary folder has to do, with a name per user.
    if (folder.isEmpty())
        return QDir::tempPath() + QStringLiteral("/pelmor-TFormMain-") + QString::number(::geteuid());
    return folder + QStringLiteral("/pelmor-TFormMain");
}

bool TSingleInstance::Listening() const
{
    return FServer->isListening();
}

bool TSingleInstance::Claim(bool HasArgument)
{
    // Two starts at the same moment must not both take the other's fresh socket for a leftover.
    // Without the lock the check is still right in everything but that race.
    QLockFile lock(FServerName + QStringLiteral(".lock"));
    lock.tryLock(LockWaitMs);
    if (AskRunningCopy())
        return HasArgument;
    // Nobody answered: whatever is left under the name belongs to a copy that crashed.
    QLocalServer::removeServer(FServerName);
    FServer->listen(FServerName);
    return true;
}

bool TSingleInstance::AskRunningCopy() const
{
    QLocalSocket socket;
    socket.connectToServer(FServerName);
    if (!socket.waitForConnected(AnswerWaitMs))
        return false;
    socket.write(RaiseRequest);
    socket.waitForBytesWritten(AnswerWaitMs);
    return true;
}

void TSingleInstance::Accept()
{
    while (QLocalSocket *client = FServer->nextPendingConnection()) {
        connect(client, &QLocalSocket::readyRead, this, [this, client] { Serve(client); });
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    }
}

void TSingleInstance::Serve(QLocalSocket *client)
{
    if (client->canReadLine()) {
        if (client->readLine(MaxRequest) == RaiseRequest)
            emit Raise();
        client->disconnectFromServer();
    } else if (client->bytesAvailable() > MaxRequest) {
        client->abort();
    }
}
