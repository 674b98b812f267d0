#pragma once

#include <QHash>
#include <QString>

// What the scheduler remembers of each host: when a row last started there, how long the host is
// held (its server asked to wait, or it keeps refusing connections) and which row met that. The row
// a hold is for keeps its own wait instead, which the user's "Ready" may lift.
class THostPacing
{
public:
    using TJob = quint64;

    // A URL's host as pacing counts it: the name in lower case and the port, the scheme's when the
    // URL names none ("example.com:80"). A proxy changes nothing: the server is the same.
    static QString HostKey(const QString &url);
    // HostKey, remembered per URL: a held host's rows are looked at on every tick, and a long list
    // must not parse each of their URLs again each time.
    const QString &HostKeyOf(const QString &url) const;

    // No hold keeps job back from host and the gap since the host's last start has passed.
    bool Open(const QString &host, TJob job, qint64 tick, qint64 nowMs) const;
    // A row of host started; the next may start gapMs later.
    void NoteStart(const QString &host, qint64 nowMs, qint64 gapMs);
    // The host's server asked job's run to wait until untilMs: the whole host waits.
    void HoldUntilMs(const QString &host, TJob job, qint64 untilMs);
    // A run of host ended without any answer; returns how many did so in a row.
    int NoteNoAnswer(const QString &host);
    // The host waits, after connection failures, until the tick untilTick.
    void HoldUntilTick(const QString &host, TJob job, qint64 untilTick);
    // A run of host got an answer: connection failures start counting afresh.
    void NoteAnswer(const QString &host);
    // No host has anything on record: nothing to check.
    bool Empty() const { return FHosts.isEmpty(); }

private:
    // A wait of the host until a time, set by a job that keeps its own wait instead.
    struct THold {
        qint64 until = 0;
        TJob job = 0;
        bool Keeps(TJob other, qint64 at) const { return other != job && at < until; }
        // Two rows asked to wait: the host waits for the later, whose row keeps its own wait.
        void Extend(qint64 to, TJob by);
    };
    struct THost {
        qint64 nextStartMs = 0;
        THold byServer;   // in Clock ms: the server's "Retry-After"
        THold byFailures; // in ticks: connection failures in a row
        int noAnswer = 0;
    };
    QHash<QString, THost> FHosts;
    mutable QHash<QString, QString> FKeys;
};
