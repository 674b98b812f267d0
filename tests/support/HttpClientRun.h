#pragma once

#include "download/HttpProt.h"

#include <QBuffer>
#include <QObject>
#include <QTimer>

// How a request ended: "0 " when nothing was raised, else the exception's code and message.
struct TOutcome {
    int Code = 0;
    QString Message;
    bool TimedOut = false;
    QString Text() const { return QStringLiteral("%1 %2%3").arg(Code).arg(Message, TimedOut ? " (timed out)" : ""); }
};

// Runs one synchronous request; one that hangs is aborted after a few seconds and reported as timed out.
inline TOutcome Request(THttpCli &cli, THttpRequest kind = httpGET)
{
    TOutcome o;
    QObject watchdog; // takes its timer along when the request ends in time
    QTimer::singleShot(5000, &watchdog, [&] {
        o.TimedOut = true;
        cli.Abort();
    });
    try {
        kind == httpHEAD ? cli.Head() : cli.Get();
    } catch (const EHttpException &e) {
        o.Message = e.Message();
        o.Code = e.ErrorCode();
    }
    return o;
}

// A client writing into a memory stream.
struct TClient {
    THttpCli Cli;
    QBuffer Body;
    explicit TClient(const QString &url)
    {
        Body.open(QIODevice::ReadWrite);
        Cli.URL = url;
        Cli.ReceiveStream = &Body;
    }
};
