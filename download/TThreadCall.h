#pragma once

#include <QDeadlineTimer>
#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class TThreadCall;

// Lives on the receiving thread, a child of the receiver, and runs the channel's calls when woken.
// The wake-up carries no data of ours, so race checkers see the calls' hand-over only through the
// channel's own lock.
class TThreadCallWake : public QObject
{
    Q_OBJECT
public:
    std::weak_ptr<TThreadCall> Channel;
    Q_INVOKABLE void RunPending();
};

// Runs functions on the thread of a receiving object, handed over from other threads. The hand-over
// goes through a standard mutex and condition variable, so race checkers see the order it gives.
// The receiver can close the channel: waiting senders are let go and nothing queued runs any more,
// so a thread that is late to stop can no longer reach the receiver.
class TThreadCall
{
public:
    // Calls run on receiver's thread: from its event loop, or from RunPending and WaitAndRun there.
    static std::shared_ptr<TThreadCall> Create(QObject *receiver);

    // Queues fn and returns at once; false when the channel is closed.
    bool Post(std::function<void()> fn);
    // Queues fn and returns after it ran (true) or once the channel closed first (false). Never call
    // it from the receiving thread.
    bool Send(std::function<void()> fn);

    // Receiving thread: runs every queued call.
    void RunPending();
    // Receiving thread: waits until a call is queued or the deadline passes, then runs what is
    // queued; false when the channel is closed or the deadline has passed.
    bool WaitAndRun(QDeadlineTimer deadline);
    // Drops the queued calls and lets their senders go; later calls are refused.
    void Close();
    // A call waits to be run.
    bool HasQueued() const;
    // Sent calls run so far: each one a sender waited for.
    quint64 SentRun() const;

    // Close the channel before the receiver goes: the wake-up lives on as the receiver's child.
    explicit TThreadCall(QObject *receiver);

private:
    enum TOutcome { Queued, Ran, Dropped };
    // A sender waiting for its call: woken alone, so nine waiting workers do not all wake for one.
    struct TWaiter {
        TOutcome outcome = Queued;
        std::condition_variable done;
    };
    struct TCall {
        std::function<void()> fn;
        TWaiter *waiter = nullptr; // the waiting sender's, or null for a posted call
    };

    bool Push(std::function<void()> fn, TWaiter *waiter);
    // Under FMutex: tells the call's sender, if one waits, how its call ended.
    static void Settle(const TCall &call, TOutcome outcome);

    TThreadCallWake *FWake = nullptr;
    mutable std::mutex FMutex;
    std::condition_variable FChanged; // a call was queued or the channel closed: for the receiver
    std::deque<TCall> FPending;
    quint64 FSentRun = 0;
    bool FWakePosted = false;
    bool FClosed = false;
};
