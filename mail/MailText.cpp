#include "mail/MailText.h"

#include "core/jconvert.h"

#include <QStringEncoder>

#include <algorithm>

namespace MailText {

QByteArray ToJis(const QString &text)
{
    QStringEncoder toSjis("CP932");
    const QByteArray sjis = toSjis.encode(text);
    QByteArray jis = jconvert::ConvertCodeFrom(sjis, jconvert::jcSjis, jconvert::jcJis);
    // A mail text must end in ASCII, or the reader's next characters would be taken for kanji.
    const qsizetype escape = jis.lastIndexOf('\x1B');
    if (escape >= 0 && jis.mid(escape + 1, 1) == "$")
        jis += "\x1B(B";
    return jis;
}

bool IsAscii(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

QByteArray MimeName(const QString &name)
{
    QString safe = name;
    for (QChar &c : safe) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('_');
    }
    if (IsAscii(safe))
        return safe.toLatin1();
    return "=?UTF-8?B?" + jconvert::EncodeBase64(safe.toUtf8()) + "?=";
}

QString EncodedWord(const QString &text)
{
    return QStringLiteral("=?ISO-2022-JP?B?") + QString::fromLatin1(jconvert::EncodeBase64(ToJis(text)))
           + QStringLiteral("?=");
}

QString Rfc5322Date(const QDateTime &when)
{
    // Names in English whatever the user's locale, as the mail standard spells them.
    static const char *const Days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate date = when.date();
    const int offset = when.offsetFromUtc() / 60;
    const int magnitude = offset < 0 ? -offset : offset;
    return QStringLiteral("%1, %2 %3 %4 %5 %6%7%8")
        .arg(QLatin1StringView(Days[date.dayOfWeek() - 1]))
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(QLatin1StringView(Months[date.month() - 1]))
        .arg(date.year())
        .arg(when.time().toString(QStringLiteral("HH:mm:ss")))
        .arg(QLatin1Char(offset < 0 ? '-' : '+'))
        .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
        .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

} // namespace MailText
