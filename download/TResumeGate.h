#pragma once

#include <condition_variable>
#include <mutex>

// The hand-off that parks a worker between jobs: the scheduler opens it once per job. Built on a
// mutex and a condition variable, whose ordering race checkers understand.
class TResumeGate
{
public:
    void Open()
    {
        {
            const std::lock_guard lock(FMutex);
            ++FPermits;
        }
        FOpened.notify_one();
    }

    void Pass()
    {
        std::unique_lock lock(FMutex);
        FOpened.wait(lock, [this] { return FPermits > 0; });
        --FPermits;
    }

private:
    std::mutex FMutex;
    std::condition_variable FOpened;
    int FPermits = 0;
};
