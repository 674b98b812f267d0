#pragma once

#include <QtGlobal>

#include <chrono>
#include <mutex>

// A cap on the download rate of every client that takes its reads from it: a token bucket shared
// across threads. A read takes its budget before it reads, so a capped connection leaves its bytes
// in the network and the server slows down. The cap may change at any time.
class TRateLimit
{
public:
    // The one bucket all download workers share.
    static TRateLimit &Program();

    // Bytes per second; 0: no cap. Setting the same cap again changes nothing.
    void SetBytesPerSecond(qint64 rate);
    qint64 BytesPerSecond() const;

    // Bytes a read may take now, at most want; 0 when it must wait (WaitMs says how long).
    int Take(int want);
    // Budget taken but not used: the read brought fewer bytes.
    void GiveBack(int bytes);
    // Milliseconds until a read may take a useful share; never more than MaxWaitMs, so that a
    // waiting reader sees a changed cap soon.
    int WaitMs();

    static constexpr int MaxWaitMs = 100;
    // The least a read is granted while any budget is left: tiny reads would cost more than they bring.
    static constexpr int MinGrant = 1024;

private:
    using TClock = std::chrono::steady_clock;
    void Refill(TClock::time_point now);
    double Burst() const;

    mutable std::mutex FLock;
    qint64 FRate = 0;
    // May fall below 0: a read granted more than was left is paid back before the next one.
    double FTokens = 0;
    TClock::time_point FLast;
};
