#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The text forms of a mail message: Japanese in JIS (ISO-2022-JP), encoded words and dates.
namespace MailText {

// The text in JIS by way of the program's own Shift_JIS; a character Shift_JIS lacks becomes "?".
QByteArray ToJis(const QString &text);
// "=?ISO-2022-JP?B?...?=" for a header value.
QString EncodedWord(const QString &text);
bool IsAscii(const QString &text);
// A file name for a quoted MIME parameter: ASCII as it is, anything else as an encoded word in
// UTF-8; quotes, backslashes and control characters become "_".
QByteArray MimeName(const QString &name);
// The date and time as a "Date" header gives them: "Wed, 09 Dec 2026 11:05:27 +0900".
QString Rfc5322Date(const QDateTime &when);

} // namespace MailText
