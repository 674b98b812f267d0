#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class THttpAnswer;

// What a connection leads to: a request may go over a kept connection only when all of it matches.
struct THttpConnectionKey {
    bool Secure = false;
    QString ConnectHost;
    QString ConnectPort;
    QString Proxy;
    // host:port of the CONNECT tunnel; empty without one.
    QString Tunnel;
    // The trust anchor the TLS connection was checked against.
    QString CAFile;
    bool operator==(const THttpConnectionKey &) const = default;
};

// The connection a client keeps open after an answer that ended by its own framing, for the next
// request to the same place; it is given up when it idles longer than IdleMs.
class THttpKeepAlive
{
public:
    static constexpr int DefaultIdleMs = 30000;

    // expire runs on the owner's thread when a kept connection has idled too long.
    THttpKeepAlive(QObject *owner, std::function<void()> expire);

    // The answer lets its connection serve another request: HTTP/1.1 unless it said "close",
    // HTTP/1.0 only when it said "keep-alive".
    static bool AnswerAllows(const THttpAnswer &answer);

    // 0: no connection is kept.
    int IdleMs = DefaultIdleMs;

    // The connection is kept for requests to key; false (nothing kept) when keeping is off.
    bool Park(const THttpConnectionKey &key);
    bool Parked() const { return FParked; }
    // The kept connection may serve a request to key: same place, not idle too long.
    bool Fits(const THttpConnectionKey &key) const;
    void Forget();

private:
    bool FParked = false;
    THttpConnectionKey FKey;
    QElapsedTimer FIdle;
    QTimer FExpiry;
};
