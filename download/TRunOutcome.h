#pragma once

#include <QString>

// How a worker's run of a job ended. The scheduler decides on this value (ask again, back off, give
// up); the row's Message is only made from it, so what the row shows cannot drift from the decision.
struct TRunOutcome {
    enum class TKind {
        Progress,         // no verdict (yet): Reason is what the row shows; a run ending on it is done with
        Completed,        // the file came down whole
        FileEnd,          // the partial file was whole already
        FileExists,       // the local file was there before the run
        Retry,            // to be asked again; Reason: why the run failed
        Aborted,          // ended for good; Reason: why
        Stopped,          // a stop asked of the job ended it; Reason: the text the stop asked to show
        HeadEnded,        // a HEAD request that failed; Reason: the answer's status in words
        Duplicate,        // came down whole with the content of an earlier file; Reason: that file
        DuplicateRemoved, // the same, and the new copy was removed
    };

    TKind Kind = TKind::Progress;
    QString Reason;
    // The least wait, in ms, a busy server asked for before the job is asked again; 0 when none.
    qint64 WaitMs = 0;

    static TRunOutcome Of(TKind kind, const QString &reason = {}) { return {kind, reason, 0}; }
    static TRunOutcome Aborted(const QString &reason) { return Of(TKind::Aborted, reason); }
    static TRunOutcome Retry(const QString &why) { return Of(TKind::Retry, why); }

    // The only way a run's end becomes the Message of its row.
    QString Text() const;
    // The run leaves its job to be asked again.
    bool Pending() const { return Kind == TKind::Retry; }

    bool operator==(const TRunOutcome &) const = default;
};
