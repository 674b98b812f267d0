#include "download/HttpKeepAlive.h"

#include "download/HttpAnswer.h"

#include <utility>

THttpKeepAlive::THttpKeepAlive(QObject *owner, std::function<void()> expire) : FExpiry(owner)
{
    FExpiry.setSingleShot(true);
    QObject::connect(&FExpiry, &QTimer::timeout, owner, [this, expire = std::move(expire)] {
        if (FParked)
            expire();
    });
}

bool THttpKeepAlive::AnswerAllows(const THttpAnswer &answer)
{
    if (answer.ConnectionClose())
        return false;
    return answer.Version11() || answer.ConnectionKeepAlive();
}

bool THttpKeepAlive::Park(const THttpConnectionKey &key)
{
    if (IdleMs <= 0)
        return false;
    FParked = true;
    FKey = key;
    FIdle.start();
    // The timer runs only while the thread pumps events; Fits checks the time itself as well.
    FExpiry.start(IdleMs);
    return true;
}

bool THttpKeepAlive::Fits(const THttpConnectionKey &key) const
{
    return FParked && FKey == key && FIdle.elapsed() < IdleMs;
}

void THttpKeepAlive::Forget()
{
    FParked = false;
    FExpiry.stop();
}
