#include "LocalFileName.h"

#include "UrlUtil.h"

#include <QCryptographicHash>

#include <algorithm>

namespace {

// Longest file name (without folder) most Linux file systems take, in bytes.
constexpr int MaxNameBytes = 255;
// Room kept for the "_" of the partial file and a part text such as "012".
constexpr int Reserve = 8;

QString BaseName(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool Usable(const QString &path)
{
    const QString name = BaseName(path);
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..")
        && name.toUtf8().size() <= MaxNameBytes - Reserve;
}

// The extension of the URL's path (never of its query), kept on a digest name so that the file's kind
// still shows: a dot and up to eight letters or digits, else nothing.
QString SafeExtension(const QString &url)
{
    QString path = url.left(url.indexOf(QLatin1Char('?')));
    path = path.left(path.indexOf(QLatin1Char('#')));
    const qsizetype scheme = path.indexOf(QStringLiteral("://"));
    const qsizetype slash = path.indexOf(QLatin1Char('/'), scheme < 0 ? 0 : scheme + 3);
    if (slash < 0)
        return {};
    const QString segment = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const QString extension = segment.mid(segment.lastIndexOf(QLatin1Char('.')) + 1);
    constexpr qsizetype MaxExtension = 8;
    const bool safe = segment.contains(QLatin1Char('.')) && !extension.isEmpty() && extension.size() <= MaxExtension
        && std::all_of(extension.cbegin(), extension.cend(),
                       [](QChar c) { return c.unicode() < 0x80 && c.isLetterOrNumber(); });
    return safe ? QLatin1Char('.') + extension : QString();
}

} // namespace

QString LocalFileName::Fallback(const QString &folder, const QString &url)
{
    QString rest = url.trimmed();
    const qsizetype scheme = rest.indexOf(QStringLiteral("://"));
    const QString prefix = scheme > 0 && rest.left(scheme).compare(QStringLiteral("ftp"), Qt::CaseInsensitive) == 0
        ? QStringLiteral("f") : QStringLiteral("h");
    if (scheme > 0)
        rest = rest.mid(scheme + 3);
    for (QChar &c : rest)
        if (UrlUtil::UnsafeInFileName(c))
            c = QLatin1Char('_');
    QString name = prefix + rest;
    if (name.toUtf8().size() > MaxNameBytes - Reserve) {
        // Keep the names of long URLs apart by a digest of the whole URL, its transport aside.
        const QString digest = QString::fromLatin1(
            QCryptographicHash::hash(UrlUtil::AsHttpUrl(url).toUtf8(), QCryptographicHash::Sha1)
                .toHex()
                .left(16));
        const QString extension = SafeExtension(url.trimmed());
        while (name.toUtf8().size() > MaxNameBytes - Reserve - digest.size() - 1 - extension.size())
            name.chop(1);
        name += QLatin1Char('_') + digest + extension;
    }
    return folder + QStringLiteral("/tmp/") + name;
}

QString LocalFileName::For(const QString &folder, const QString &url, bool longNames, const QString &div)
{
    QString path = longNames ? UrlUtil::SetFileName(folder, url) : UrlUtil::SetFileNameS(folder, url);
    const bool local = url.startsWith(QStringLiteral("file://"));
    if (!local && !Usable(path))
        path = Fallback(folder, url);
    // A local file's relative path is below the program folder, wherever the program was started.
    if (local && path.startsWith(QStringLiteral("./")))
        path = folder + path.mid(1);
    // The part text comes from a list file: a "/" or ".." in it must not lead the file elsewhere.
    QString part = div;
    for (QChar &c : part)
        if (UrlUtil::UnsafeInFileName(c))
            c = QLatin1Char('_');
    return path + part;
}
