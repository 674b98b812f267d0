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
        running += m_slotStates[slot] == SlotBusy && m_slotHosts[slot] == host ? 1 : 0;
    return running;
}

bool TScheduler::HostLets(int row, TJobId id) const
{
    // Without a rule or a hold on record, the URL is not even read: today's pacing, at today's cost.
    if (m_settings.HostLimit <= 0 && m_settings.HostGap.Ms <= 0 && m_pacing.Empty())
        return true;
    const QString host = THostPacing::HostKey(m_jobs.Cell(row, SubURL));
    if (m_settings.HostLimit > 0 && RunningOnHost(host) >= m_settings.HostLimit)
        return false;
    return m_pacing.Open(host, id, m_ticks, Clock());
}

void TScheduler::NoteHostRunEnded(int slot, TJobId id, const TRunOutcome &ended, const TRunOutcome &shown)
{
    if (slot < 0 || slot >= SlotCount || m_slotHosts[slot].isEmpty())
        return;
    const QString &host = m_slotHosts[slot];
    if (m_slotAnswered[slot]) {
        m_pacing.NoteAnswer(host);
    } else if (ended.Pending()) {
        const int failures = m_pacing.NoteNoAnswer(host);
        // A row given up sets no hold: nothing of it waits, and the user's "Ready" starts it at once.
        if (failures >= HostFailuresToHold && shown.Pending()) {
            m_pacing.HoldUntilTick(host, id, m_ticks + 1 + BackOffTicks(failures));
            qCDebug(lcList, "host %s failed to connect %d time(s) in a row; its rows wait", qUtf8Printable(host),
                    failures);
        }
    }
    if (shown.Pending() && shown.WaitMs > 0)
        m_pacing.HoldUntilMs(host, id, Clock() + shown.WaitMs);
}
