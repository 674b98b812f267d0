#include "download/TThreadCall.h"

void TThreadCallWake::RunPending()
{
    if (const std::shared_ptr<TThreadCall> channel = Channel.lock())
        channel->RunPending();
}

std::shared_ptr<TThreadCall> TThreadCall::Create(QObject *receiver)
{
    auto channel = std::make_shared<TThreadCall>(receiver);
    channel->FWake->Channel = channel;
    return channel;
}

TThreadCall::TThreadCall(QObject *receiver) : FWake(new TThreadCallWake)
{
    FWake->moveToThread(receiver->thread());
    FWake->setParent(receiver);
}

bool TThreadCall::Push(std::function<void()> fn, TOutcome *outcome)
{
    const std::lock_guard lock(FMutex);
    if (FClosed)
        return false;
    FPending.push_back({std::move(fn), outcome});
    // Posted under the lock: Close, which comes before the receiver goes, cannot slip in between.
    if (!FWakePosted) {
        FWakePosted = true;
        QMetaObject::invokeMethod(FWake, "RunPending", Qt::QueuedConnection);
    }
    FChanged.notify_all();
    return true;
}

bool TThreadCall::Post(std::function<void()> fn)
{
    return Push(std::move(fn), nullptr);
}

bool TThreadCall::Send(std::function<void()> fn)
{
    TOutcome outcome = Queued;
    if (!Push(std::move(fn), &outcome))
        return false;
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] { return outcome != Queued; });
    return outcome == Ran;
}

void TThreadCall::RunPending()
{
    for (;;) {
        TCall call;
        {
            const std::lock_guard lock(FMutex);
            if (FPending.empty() || FClosed) {
                FWakePosted = false;
                return;
            }
            call = std::move(FPending.front());
            FPending.pop_front();
        }
        call.fn();
        if (call.outcome) {
            const std::lock_guard lock(FMutex);
            *call.outcome = Ran;
            FChanged.notify_all();
        }
    }
}

bool TThreadCall::WaitAndRun(QDeadlineTimer deadline)
{
    {
        std::unique_lock lock(FMutex);
        const auto ready = [this] { return FClosed || !FPending.empty(); };
        if (deadline.isForever())
            FChanged.wait(lock, ready);
        else
            FChanged.wait_for(lock, deadline.remainingTimeAsDuration(), ready);
        if (FClosed)
            return false;
    }
    RunPending();
    return !deadline.hasExpired();
}

void TThreadCall::Close()
{
    const std::lock_guard lock(FMutex);
    FClosed = true;
    for (TCall &call : FPending)
        if (call.outcome)
            *call.outcome = Dropped;
    FPending.clear();
    FChanged.notify_all();
}

bool TThreadCall::HasQueued() const
{
    const std::lock_guard lock(FMutex);
    return !FPending.empty();
}
