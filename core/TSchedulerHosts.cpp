// Politeness to each host: how many of its rows run at once, how soon one starts after another, and
// how long the whole host waits when its server asks for it or keeps failing to connect.
#include "core/TScheduler.h"

#include "core/ListLog.h"
#include "core/TSettings.h"

namespace {
// Connection failures in a row after which a host's other rows wait too: one alone may be a fluke.
constexpr int HostFailuresToHold = 2;
} // namespace

int TScheduler::RunningOnHost(const QString &host) const
{
    int running = 0;
    for (int slot = 0; slot < SlotCount; ++slot)
        running += FSlotStates[slot] == SlotBusy && FSlotHosts[slot] == host ? 1 : 0;
    return running;
}

bool TScheduler::HostLets(int row, TJobId id) const
{
    // Without a rule or a hold on record, the URL is not even read: today's pacing, at today's cost.
    if (FSettings.HostLimit <= 0 && FSettings.HostGap.Ms <= 0 && FPacing.Empty())
        return true;
    const QString &host = FPacing.HostKeyOf(FJobs.Cell(row, SubURL));
    if (FSettings.HostLimit > 0 && RunningOnHost(host) >= FSettings.HostLimit)
        return false;
    return FPacing.Open(host, id, FTicks, Clock());
}

void TScheduler::NoteHostRunEnded(int slot, TJobId id, const TRunOutcome &ended, const TRunOutcome &shown)
{
    if (slot < 0 || slot >= SlotCount || FSlotHosts[slot].isEmpty())
        return;
    const QString &host = FSlotHosts[slot];
    if (FSlotAnswered[slot]) {
        FPacing.NoteAnswer(host);
    } else if (ended.Pending()) {
        const int failures = FPacing.NoteNoAnswer(host);
        // A row given up sets no hold: nothing of it waits, and the user's "Ready" starts it at once.
        if (failures >= HostFailuresToHold && shown.Pending()) {
            FPacing.HoldUntilTick(host, id, FTicks + 1 + BackOffTicks(failures));
            qCDebug(lcList, "host %s failed to connect %d time(s) in a row; its rows wait", qUtf8Printable(host),
                    failures);
        }
    }
    if (shown.Pending() && shown.WaitMs > 0)
        FPacing.HoldUntilMs(host, id, Clock() + shown.WaitMs);
}
