#include "download/TRateLimit.h"

#include <algorithm>
#include <cmath>

TRateLimit &TRateLimit::Program()
{
    static TRateLimit program;
    return program;
}

void TRateLimit::SetBytesPerSecond(qint64 rate)
{
    const std::lock_guard lock(FLock);
    rate = std::max<qint64>(0, rate);
    if (rate == FRate)
        return;
    const bool wasOff = FRate == 0;
    FRate = rate;
    FLast = TClock::now();
    // A new cap starts with a full bucket; a changed one keeps what is left, up to its own burst.
    FTokens = wasOff ? Burst() : std::min(FTokens, Burst());
}

qint64 TRateLimit::BytesPerSecond() const
{
    const std::lock_guard lock(FLock);
    return FRate;
}

double TRateLimit::Burst() const
{
    // A fifth of a second's worth: waits end late by a few ms without losing budget, and the
    // first seconds of a run stay within a few percent of the cap.
    return std::max(double(FRate) / 5, double(MinGrant));
}

void TRateLimit::Refill(TClock::time_point now)
{
    const double seconds = std::chrono::duration<double>(now - FLast).count();
    FLast = now;
    FTokens = std::min(Burst(), FTokens + seconds * double(FRate));
}

int TRateLimit::Take(int want)
{
    const std::lock_guard lock(FLock);
    if (FRate == 0 || want <= 0)
        return std::max(0, want);
    Refill(TClock::now());
    if (FTokens <= 0)
        return 0;
    const int granted = int(std::min<double>(want, std::max<double>(FTokens, MinGrant)));
    FTokens -= granted;
    return granted;
}

void TRateLimit::GiveBack(int bytes)
{
    const std::lock_guard lock(FLock);
    if (FRate != 0 && bytes > 0)
        FTokens = std::min(Burst(), FTokens + bytes);
}

int TRateLimit::WaitMs()
{
    const std::lock_guard lock(FLock);
    if (FRate == 0)
        return 0;
    Refill(TClock::now());
    const double missing = MinGrant - FTokens;
    if (missing <= 0)
        return 0;
    const double ms = std::ceil(missing * 1000 / double(FRate));
    return int(std::clamp(ms, 1.0, double(MaxWaitMs)));
}
