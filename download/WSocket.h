#pragma once

#include "download/ECodedException.h"
#include "download/WSendQueue.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class QHostAddress;
class QHostInfo;
class TTlsSession;

enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed,
};

enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

class ESocketException : public ECodedException
{
public:
    using ECodedException::ECodedException;
};

// Event-driven TCP socket: calls start work, results arrive as events on the thread that owns
// the socket, while that thread runs or pumps its event loop. Nothing here ever blocks.
class TWSocket : public QObject
{
public:
    using TSocketEvent = std::function<void(TWSocket *Sender, quint16 Error)>;
    using TErrorEvent = std::function<void(TWSocket *Sender, quint16 Error, const QString &Text)>;

    // Answers name lookups in place of the system's resolver, the answer arriving as a lookup's
    // would: for tests that need names with IPv6 or several addresses. Empty: the resolver again.
    using TLookupHook = std::function<QList<QHostAddress>(const QString &HostName)>;
    static void SetLookupHook(TLookupHook hook);

    explicit TWSocket(QObject *parent = nullptr);
    ~TWSocket() override;

    // Connection settings; a close restores their defaults.
    QString Addr;
    QString Port;
    QString Proto = QStringLiteral("tcp");
    QString LocalPort = QStringLiteral("0");
    TSocketLingerOnOff LingerOnOff = wsLingerOn;
    int LingerTimeout = 0;

    TSocketState State() const { return FState; }
    int LastError() const { return FLastError; }
    QString DnsResult() const { return FDnsResult; }
    QStringList DnsResultList() const { return FDnsResultList; }

    void DnsLookup(const QString &HostName);
    void CancelDnsLookup();
    // Addr must be a numeric address (a DnsLookup result): a name is refused rather than looked
    // up here, since a lookup on the spot would block the owning thread.
    void Connect();
    // Queues len bytes and sends what the network takes now; -1 when not connected.
    int Send(const void *Data, int Len);
    // Reads what is waiting, at most BufferSize bytes; 0 after the peer closed, -1 on error.
    int Receive(void *Buffer, int BufferSize);
    void Close();
    // Reads nothing for ms milliseconds: the peer's bytes wait in the network meanwhile. A close
    // ends the pause.
    void PauseReading(int ms);

    // Starts TLS on the connected socket, for this host name or address and with this extra trust
    // anchor (empty: the system's alone); OnTlsDone tells how it went. Sends queued before it is
    // done wait for it; reads see only plain bytes.
    void StartTls(const QString &HostName, const QString &CAFile);
    // Why the handshake failed, and whether it was the server's certificate that was refused.
    QString TlsFailure() const;
    bool TlsCertificateRefused() const;

    // Unsent bytes of each send block, oldest first.
    std::vector<int> SendBlockSizes() const { return FSendQueue.BlockSizes(); }

    TSocketEvent OnDnsLookupDone;
    TSocketEvent OnSessionConnected;
    TSocketEvent OnDataAvailable;
    TSocketEvent OnDataSent;
    TSocketEvent OnSessionClosed;
    TSocketEvent OnTlsDone;
    TErrorEvent OnError;

private:
    bool DropLookup();
    void LookupFinished(const QHostInfo &info);
    void ReadReady();
    void ResumeReading();
    void WriteReady();
    void ContinueTls();
    // Runs a step later from the event loop, unless the connection it was meant for is gone.
    void PostForConnection(void (TWSocket::*step)());
    void ConnectDone(quint16 error);
    void TryToSend();
    void DropWaitingData();
    void InternalClose(bool raiseEvent, quint16 error);
    void ResetDefaults();
    void OpenSocket(int family);
    void StartConnect(const struct sockaddr *sa, unsigned saLen);
    void ResolveEndpoint(struct sockaddr_storage &sa, unsigned &saLen);
    // Reports a failing call: to OnError when set, otherwise as ESocketException.
    void SocketError(const QString &op, int code);
    void RaiseError(int code, const QString &text);
    // Runs an event raised from the event loop; an exception aborts the connection and goes no further.
    void Guarded(const std::function<void()> &fn);
    void RaiseEvent(const TSocketEvent &event, quint16 error);

    int FHSocket = -1;
    TSocketState FState = wsClosed;
    int FLastError = 0;
    QSocketNotifier FReadNotifier;
    QSocketNotifier FWriteNotifier;
    QTimer FReadResume;
    bool FReadPaused = false;
    TSendQueue FSendQueue;
    int FDnsLookupId = -1;
    QString FDnsResult;
    QStringList FDnsResultList;
    // Counts connections so a queued notice meant for an earlier one is dropped.
    quint64 FConnection = 0;
    bool FReadFilled = false;
    bool FRemoteClosed = false;
    int FReadError = 0;
    bool FDestroying = false;
    std::unique_ptr<TTlsSession> FTls;
    // A TLS read may need the socket writable (and a write readable) before it can go on.
    bool FTlsReadWantsWrite = false;
    bool FTlsWriteWantsRead = false;
};
