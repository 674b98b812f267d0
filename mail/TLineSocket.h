#pragma once

#include "mail/ESMTPException.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

// A blocking TCP connection with line reads, for a client that runs on a thread of its own. Every
// wait ends after the time-out or when Abort() is called from any thread. Every failure closes the
// connection: after it nothing can tell where the conversation stands.
class TLineSocket
{
public:
    enum TError : int {
        errTimeOut = 10060,
        errAborted = 10004,
        errHostNotFound = 11001,
        errLineTooLong = 20001,
        errClosed = 10054,
    };

    TLineSocket();
    ~TLineSocket();
    TLineSocket(const TLineSocket &) = delete;
    TLineSocket &operator=(const TLineSocket &) = delete;

    // Resolves the host, then tries its addresses in order. The resolved callback runs between.
    void Connect(const QString &host, int port, const std::function<void()> &resolved);
    void Close();
    bool Connected() const { return FSocket >= 0; }

    // One line without its CR LF; fails on a line longer than MaxLine.
    QByteArray ReadLine();
    // Writes all of data; progress(bytes written so far) after each piece.
    void Write(const QByteArray &data, const std::function<void(qint64)> &progress = {});

    // Ends the wait under way and every later one with errAborted; safe from any thread. An
    // aborted socket stays aborted: a new operation takes a new socket.
    void Abort();

    int TimeOutMs = 60000;
    static constexpr qsizetype MaxLine = 4096;

private:
    enum TWaitFor { WaitRead, WaitWrite };
    void Wait(TWaitFor what);
    [[noreturn]] void Fail(TSmtpFault fault, int code, const QString &text = {});
    [[noreturn]] void FailAborted() { Fail(TSmtpFault::Aborted, errAborted, QStringLiteral("Aborted")); }

    int FSocket = -1;
    int FWake = -1; // an eventfd that Abort() signals
    std::atomic<bool> FAborted{false};
    QByteArray FBuffer;
};
