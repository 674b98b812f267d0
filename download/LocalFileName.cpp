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

// The longest start of text that takes at most bytes in UTF-8, cut once, never inside a character
// (a URL may be megabytes long).
QString Utf8Head(const QString &text, qsizetype bytes)
{
    qsizetype used = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const char32_t u = text[end].unicode();
        const bool pair = text[end].isHighSurrogate() && end + 1 < text.size() && text[end + 1].isLowSurrogate();
        const qsizetype width = pair ? 4 : u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
        if (used + width > bytes)
            break;
        used += width;
        end += pair ? 2 : 1;
    }
    return text.left(end);
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
        name = Utf8Head(name, MaxNameBytes - Reserve - digest.size() - 1 - extension.size())
            + QLatin1Char('_') + digest + extension;
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
    path += part;
    // A control character never reaches the file system: a NUL would end the name early and the
    // file would be another job's.
    std::replace_if(path.begin(), path.end(), UrlUtil::IsControl, QLatin1Char('_'));
    return path;
}
