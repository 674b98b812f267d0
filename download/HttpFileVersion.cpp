#include "HttpFileVersion.h"

#include "HttpNumber.h"

#include <algorithm>

namespace {

const QString ETagKey = QStringLiteral("ETag=");
const QString DateKey = QStringLiteral("Last-Modified=");

// The value of the first header line of this field, or "" when none.
QString Field(const QStringList &headers, QLatin1StringView name)
{
    for (const QString &line : headers) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0 && QStringView(line).left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

QString Encoded(const QString &value)
{
    return QString::fromLatin1(value.toLatin1().toPercentEncoding());
}

QString Changed(const QString &what, const QString &now, const QString &was)
{
    return THttpFileVersion::ChangedPrefix + QStringLiteral("%1%2 instead of %3").arg(what, now, was);
}

} // namespace

THttpFileVersion THttpFileVersion::FromAnswer(const QStringList &headers, qint64 total)
{
    THttpFileVersion version;
    version.total = total < 0 ? -1 : total;
    version.etag = Field(headers, QLatin1StringView("etag"));
    version.lastModified = Field(headers, QLatin1StringView("last-modified"));
    return version;
}

QString THttpFileVersion::ToText() const
{
    // One validator is kept: the one If-Range can carry, else a weak tag we compare ourselves.
    QString text = QString::number(total);
    const bool date = !lastModified.isEmpty() && IfRange() != etag;
    if (date)
        text += QLatin1Char(' ') + DateKey + Encoded(lastModified);
    else if (!etag.isEmpty())
        text += QLatin1Char(' ') + ETagKey + Encoded(etag);
    return text;
}

std::optional<THttpFileVersion> THttpFileVersion::FromText(const QString &text)
{
    const QStringList words = text.split(QLatin1Char(' '));
    const std::optional<qint64> total = ParseHttpNumber(words.first());
    if (!total || words.size() > 2)
        return std::nullopt;
    THttpFileVersion version;
    version.total = *total;
    if (words.size() == 1)
        return version;
    const QString &word = words.last();
    const bool etag = word.startsWith(ETagKey);
    if (!etag && !word.startsWith(DateKey))
        return std::nullopt;
    const QString value = QString::fromLatin1(QByteArray::fromPercentEncoding(word.mid((etag ? ETagKey : DateKey).size()).toLatin1()));
    // The value goes into a request line: nothing in it may end that line early.
    if (value.isEmpty() || std::any_of(value.cbegin(), value.cend(), [](QChar c) { return c < u' ' || c == u'\x7f'; }))
        return std::nullopt;
    (etag ? version.etag : version.lastModified) = value;
    return version;
}

QString THttpFileVersion::IfRange() const
{
    // A weak tag never satisfies If-Range: sending one would only ever bring the whole file.
    return etag.isEmpty() || etag.startsWith(QLatin1String("W/")) ? lastModified : etag;
}

QString THttpFileVersion::Difference(const THttpFileVersion &answer) const
{
    if (Known() && answer.Known() && answer.total != total)
        return Changed(QString(), QStringLiteral("%1 bytes").arg(answer.total), QString::number(total));
    if (!etag.isEmpty() && !answer.etag.isEmpty() && answer.etag != etag)
        return Changed(QStringLiteral("ETag "), answer.etag, etag);
    if (!lastModified.isEmpty() && !answer.lastModified.isEmpty() && answer.lastModified != lastModified)
        return Changed(QStringLiteral("Last-Modified "), answer.lastModified, lastModified);
    return {};
}

QString THttpFileVersion::Describe() const
{
    QString text = Known() ? QStringLiteral("%1 bytes").arg(total) : QStringLiteral("size unknown");
    if (!etag.isEmpty())
        text += QStringLiteral(", ETag ") + etag;
    else if (!lastModified.isEmpty())
        text += QStringLiteral(", Last-Modified ") + lastModified;
    return text;
}
