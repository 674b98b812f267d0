#include "TThreadCall.h"

void TThreadCall::Push(std::function<void()> fn)
{
    const std::lock_guard lock(FMutex);
    FPending.push_back(std::move(fn));
}

void TThreadCall::Post(std::function<void()> fn)
{
    Push(std::move(fn));
    QMetaObject::invokeMethod(this, "RunPending", Qt::QueuedConnection);
}

void TThreadCall::Send(std::function<void()> fn)
{
    Push(std::move(fn));
    QMetaObject::invokeMethod(this, "RunPending", Qt::BlockingQueuedConnection);
    // Orders what the call wrote before what this thread reads next.
    const std::lock_guard lock(FMutex);
}

void TThreadCall::RunPending()
{
    for (;;) {
        std::function<void()> fn;
        {
            const std::lock_guard lock(FMutex);
            if (FPending.empty())
                return;
            fn = std::move(FPending.front());
            FPending.pop_front();
        }
        fn();
    }
}
