#pragma once

#include "mail/NMsmtp.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>

// Where a message goes and how long to wait for the server.
struct TMailServer {
    QString Host;
    int Port = 25;
    QString UserID;
    int TimeOutSeconds = 60;
};

// Connects, sends one message and disconnects on a thread of its own, so that a window stays
// responsive; the client's events arrive as signals on the session's thread.
class TMailSession : public QObject
{
    Q_OBJECT
public:
    explicit TMailSession(QObject *parent = nullptr);
    // Aborts a send under way and waits for its thread.
    ~TMailSession() override;

    // False while a send is under way.
    bool Start(const TMailServer &server, const TPostMessage &message);
    // Ends the send under way soon, with an error; safe to call at any time.
    void Abort();
    bool Running() const { return FRunning; }

signals:
    void Connect();
    void Disconnect();
    void Status(const QString &text);
    void HostResolved();
    void InvalidHost();
    void ConnectionFailed();
    void SendStart();
    void PacketSent(qint64 sent, qint64 total);
    void EncodeStart(const QString &fileName);
    void EncodeEnd(const QString &fileName);
    void RecipientNotFound(const QString &address);
    void HeaderIncomplete();
    void Success();
    void Failure();
    // The send has ended and its connection is closed: error is empty when the message went out,
    // else the text to show.
    void Finished(const QString &error, int code);

private:
    void Run(const TPostMessage &message);
    void WireEvents();
    void Join();

    std::unique_ptr<TNMSMTP> FClient;
    std::unique_ptr<QThread> FThread;
    std::atomic<bool> FRunning{false};
};
