#include "download/HttpFileVersion.h"

#include "download/HttpNumber.h"
#include "download/HttpProt.h"

#include <QStringList>

#include <algorithm>

namespace {

const QString ETagKey = QStringLiteral("ETag=");
const QString DateKey = QStringLiteral("Last-Modified=");

QString Encoded(const QString &value)
{
    return QString::fromLatin1(value.toLatin1().toPercentEncoding());
}

QString Changed(const QString &what, const QString &now, const QString &was)
{
    return THttpFileVersion::ChangedPrefix + QStringLiteral("%1%2 instead of %3").arg(what, now, was);
}

} // namespace

THttpFileVersion THttpFileVersion::FromAnswer(const THttpCli &answer, qint64 total)
{
    return {total < 0 ? -1 : total, answer.ETag(), answer.LastModified()};
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
    const QString value =
        QString::fromLatin1(QByteArray::fromPercentEncoding(word.mid((etag ? ETagKey : DateKey).size()).toLatin1()));
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
