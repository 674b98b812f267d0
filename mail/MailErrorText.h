#pragma once

#include "mail/ESMTPException.h"

#include <QString>

// The feedback window's words for what ended a send: a Japanese sentence, then on a line of its
// own the server's reply, the file or the WinSock number where they help.
namespace MailErrorText {

QString Sentence(TSmtpFault fault);
QString Text(TSmtpFault fault, const QString &detail);
QString Of(const ESMTPException &e);
// A failure from outside the client, such as memory running out.
QString Unexpected(const QString &what);

} // namespace MailErrorText
