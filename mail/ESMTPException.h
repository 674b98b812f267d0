#pragma once

#include "download/ECodedException.h"

// What ended an operation of the mail client, so that a window can say it in its own words.
enum class TSmtpFault {
    // The connection; the error code is the WinSock number.
    HostNotFound,
    ConnectFailed,
    TimeOut,
    Lost,
    Aborted,
    NotConnected,
    // The server said no; the detail is its reply.
    Refused,
    // What the server sent is not an SMTP reply; the detail is the line, where it can be shown.
    BadReply,
    // The message itself: no sender or recipient, an attachment that cannot be read or is too
    // large (the detail is its path), a value that would break its command line (the detail).
    Header,
    Attachment,
    TooLarge,
    BadValue,
};

// A failure of the mail client: the connection, the server's replies or the message.
class ESMTPException : public ECodedException
{
public:
    ESMTPException(TSmtpFault fault, const QString &message, int code = 0, const QString &detail = {})
        : ECodedException(message, code), FFault(fault), FDetail(detail)
    {
    }
    TSmtpFault Fault() const { return FFault; }
    QString Detail() const { return FDetail; }

private:
    TSmtpFault FFault;
    QString FDetail;
};
