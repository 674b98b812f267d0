#include "download/LocalFileName.h"

#include "download/UrlUtil.h"

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

// The extension of a file name kept on a digest name, so that the file's kind still shows: a dot and
// up to eight letters or digits, else nothing.
QString SafeExtension(const QString &name)
{
    const QString extension = name.mid(name.lastIndexOf(QLatin1Char('.')) + 1);
    constexpr qsizetype MaxExtension = 8;
    const bool safe = name.contains(QLatin1Char('.')) && !extension.isEmpty() && extension.size() <= MaxExtension
                      && std::all_of(extension.cbegin(), extension.cend(),
                                     [](QChar c) { return c.unicode() < 0x80 && c.isLetterOrNumber(); });
    return safe ? QLatin1Char('.') + extension : QString();
}

// The extension of the URL's path, never of its query.
QString UrlExtension(const QString &url)
{
    QString path = url.left(url.indexOf(QLatin1Char('?')));
    path = path.left(path.indexOf(QLatin1Char('#')));
    const qsizetype scheme = path.indexOf(QStringLiteral("://"));
    const qsizetype slash = path.indexOf(QLatin1Char('/'), scheme < 0 ? 0 : scheme + 3);
    return slash < 0 ? QString() : SafeExtension(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
}

// The first hex digits of a digest of the URL, its transport aside, so that an https URL and its
// http twin are named alike.
QString Digest(const QString &url, qsizetype digits, const QByteArray &salt = QByteArray())
{
    return QString::fromLatin1(
        QCryptographicHash::hash(UrlUtil::AsHttpUrl(url).toUtf8() + salt, QCryptographicHash::Sha1)
            .toHex()
            .left(digits));
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
                               ? QStringLiteral("f")
                               : QStringLiteral("h");
    if (scheme > 0)
        rest = rest.mid(scheme + 3);
    for (QChar &c : rest)
        if (UrlUtil::UnsafeInFileName(c))
            c = QLatin1Char('_');
    QString name = prefix + rest;
    if (name.toUtf8().size() > MaxNameBytes - Reserve) {
        // Keep the names of long URLs apart by a digest of the whole URL, its transport aside.
        const QString digest = Digest(url, 16);
        const QString extension = UrlExtension(url.trimmed());
        name = Utf8Head(name, MaxNameBytes - Reserve - digest.size() - 1 - extension.size()) + QLatin1Char('_') + digest
               + extension;
    }
    return folder + QStringLiteral("/tmp/") + name;
}

QString LocalFileName::For(const QString &folder, const QString &url, bool longNames)
{
    QString path = longNames ? UrlUtil::SetFileName(folder, url) : UrlUtil::SetFileNameS(folder, url);
    const bool local = url.startsWith(QStringLiteral("file://"));
    if (!local && !Usable(path))
        path = Fallback(folder, url);
    // A local file's relative path is below the program folder, wherever the program was started.
    if (local && path.startsWith(QStringLiteral("./")))
        path = folder + path.mid(1);
    // A control character never reaches the file system: a NUL would end the name early and the
    // file would be another job's.
    std::replace_if(path.begin(), path.end(), UrlUtil::IsControl, QLatin1Char('_'));
    return path;
}

QString LocalFileName::PartText(const QString &div)
{
    // The part text comes from a list file: a "/" or ".." in it must not lead the file elsewhere.
    QString part = div;
    for (QChar &c : part)
        if (UrlUtil::UnsafeInFileName(c) || UrlUtil::IsControl(c))
            c = QLatin1Char('_');
    return part;
}

QString LocalFileName::Distinct(const QString &path, const QString &url, int attempt)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/')) + 1;
    const QString name = path.mid(slash);
    const QString extension = SafeExtension(name);
    const QString mark = QLatin1Char('~')
                         + Digest(url, 8, attempt == 0 ? QByteArray() : QByteArray("\n") + QByteArray::number(attempt));
    const QString stem = Utf8Head(name.left(name.size() - extension.size()),
                                  MaxNameBytes - Reserve - mark.size() - extension.size());
    return path.left(slash) + stem + mark + extension;
}

LocalFileName::TClaims::TClaims(const QString &folder, bool longNames) : FFolder(folder), FLongNames(longNames) {}

QString LocalFileName::TClaims::Claim(const QString &url)
{
    if (url.startsWith(QStringLiteral("file://")))
        return For(FFolder, url, FLongNames);
    const QString key = UrlUtil::AsHttpUrl(url);
    if (const auto known = FFiles.constFind(key); known != FFiles.constEnd())
        return *known;
    // The partial file, the name with "_" after it, is the URL's too: no other URL may finish there.
    const auto taken = [this](const QString &file) {
        return FTaken.contains(file) || FTaken.contains(file + QLatin1Char('_'));
    };
    const QString own = For(FFolder, url, FLongNames);
    QString file = own;
    for (int attempt = 0; taken(file); ++attempt)
        file = Distinct(own, url, attempt);
    FTaken.insert(file);
    FTaken.insert(file + QLatin1Char('_'));
    FFiles.insert(key, file);
    return file;
}
