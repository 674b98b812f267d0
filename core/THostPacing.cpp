#include "core/THostPacing.h"

#include "download/HttpUrlParts.h"

#include <algorithm>

QString THostPacing::HostKey(const QString &url)
{
    return THttpUrlParts::Parse(url).ServerKey();
}

const QString &THostPacing::HostKeyOf(const QString &url) const
{
    auto found = FKeys.find(url);
    if (found == FKeys.end())
        found = FKeys.insert(url, HostKey(url));
    return *found;
}

void THostPacing::THold::Extend(qint64 to, TJob by)
{
    if (to >= until) {
        until = to;
        job = by;
    }
}

bool THostPacing::Open(const QString &host, TJob job, qint64 tick, qint64 nowMs) const
{
    const auto found = FHosts.constFind(host);
    if (found == FHosts.constEnd())
        return true;
    return nowMs >= found->nextStartMs && !found->byServer.Keeps(job, nowMs) && !found->byFailures.Keeps(job, tick);
}

void THostPacing::NoteStart(const QString &host, qint64 nowMs, qint64 gapMs)
{
    if (gapMs > 0)
        FHosts[host].nextStartMs = nowMs + gapMs;
}

void THostPacing::HoldUntilMs(const QString &host, TJob job, qint64 untilMs)
{
    FHosts[host].byServer.Extend(untilMs, job);
}

int THostPacing::NoteNoAnswer(const QString &host)
{
    return ++FHosts[host].noAnswer;
}

void THostPacing::HoldUntilTick(const QString &host, TJob job, qint64 untilTick)
{
    FHosts[host].byFailures.Extend(untilTick, job);
}

void THostPacing::NoteAnswer(const QString &host)
{
    const auto found = FHosts.find(host);
    if (found != FHosts.end())
        found->noAnswer = 0;
}
