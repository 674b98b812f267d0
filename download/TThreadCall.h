#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

// Runs functions on the thread this object lives on, handed over from another thread. The hand-over
// goes through a standard mutex as well as Qt's queue, so race checkers see the order it gives.
class TThreadCall : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Queues fn and returns at once.
    void Post(std::function<void()> fn);
    // Queues fn and returns after it ran; never call it from this object's own thread.
    void Send(std::function<void()> fn);

private:
    Q_INVOKABLE void RunPending();
    void Push(std::function<void()> fn);

    std::mutex FMutex;
    std::deque<std::function<void()>> FPending;
};
