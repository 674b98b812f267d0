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

bool TThreadCall::Push(std::function<void()> fn, TWaiter *waiter)
{
    const std::lock_guard lock(FMutex);
    if (FClosed)
        return false;
    FPending.push_back({std::move(fn), waiter});
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
    TWaiter waiter;
    if (!Push(std::move(fn), &waiter))
        return false;
    std::unique_lock lock(FMutex);
    waiter.done.wait(lock, [&] { return waiter.outcome != Queued; });
    return waiter.outcome == Ran;
}

void TThreadCall::Settle(const TCall &call, TOutcome outcome)
{
    if (!call.waiter)
        return;
    call.waiter->outcome = outcome;
    // Under the lock: the sender cannot see its outcome, return and free the waiter before this ends.
    call.waiter->done.notify_one();
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
        if (call.waiter) {
            const std::lock_guard lock(FMutex);
            ++FSentRun;
            Settle(call, Ran);
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
    for (const TCall &call : FPending)
        Settle(call, Dropped);
    FPending.clear();
    FChanged.notify_all();
}

bool TThreadCall::HasQueued() const
{
    const std::lock_guard lock(FMutex);
    return !FPending.empty();
}

quint64 TThreadCall::SentRun() const
{
    const std::lock_guard lock(FMutex);
    return FSentRun;
}
