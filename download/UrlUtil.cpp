#include "download/UrlUtil.h"

#include "core/CaughtText.h"
#include "download/NetLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QLatin1StringView>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace {

struct TReporterSlot {
    std::mutex mutex;
    UrlUtil::TGuardReporter reporter;
};

TReporterSlot &reporterSlot()
{
    static TReporterSlot slot;
    return slot;
}

// Blanks and control characters, as a byte-string trim sees them; full-width spaces stay.
QString trimBlanks(const QString &s)
{
    qsizetype first = 0;
    qsizetype last = s.size();
    while (first < last && s[first].unicode() <= 0x20)
        ++first;
    while (last > first && s[last - 1].unicode() <= 0x20)
        --last;
    return s.mid(first, last - first);
}

bool startsWithNoCase(const QString &s, QLatin1StringView lowerPrefix)
{
    if (s.size() < lowerPrefix.size())
        return false;
    for (qsizetype i = 0; i < lowerPrefix.size(); ++i) {
        const char16_t c = s[i].unicode();
        const char16_t lower = (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
        if (lower != char16_t(lowerPrefix[i].unicode()))
            return false;
    }
    return true;
}

QString asciiLower(QString s)
{
    for (QChar &c : s)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    return s;
}

bool isHostOnly(const QString &s)
{
    return (UrlUtil::IsWebUrl(s) || startsWithNoCase(s, QLatin1StringView("ftp://"))) && s.count(u'/') == 2;
}

// "scheme://" with a letter first; such a link is already absolute whatever its case.
bool hasScheme(const QString &link)
{
    const qsizetype colon = link.indexOf(QLatin1StringView("://"));
    if (colon <= 0 || !link[0].isLetter() || link[0].unicode() > 0x7f)
        return false;
    return std::all_of(link.begin(), link.begin() + colon, [](QChar c) {
        return c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'+' || c == u'-' || c == u'.');
    });
}

QString fileExtension(const QString &url)
{
    const QString s = trimBlanks(url);
    if (s.isEmpty() || s.contains(u'?'))
        return {};
    QString name = s.mid(s.lastIndexOf(u'/') + 1);
    if (name.isEmpty())
        name = s;
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

bool isLocalFileUrl(const QString &url)
{
    return url.startsWith(QLatin1StringView("file://"));
}

// Absolute paths ("/…" here, "C:…" in lists made on Windows) stay; others are relative.
QString localFilePath(const QString &url)
{
    const QString path = url.mid(7);
    if (path.startsWith(u'/') || (path.size() >= 2 && path[1] == u':'))
        return path;
    return QLatin1StringView("./") + path;
}

QString flattened(QString rest)
{
    return rest.replace(u'/', u'_').replace(u'.', u'_');
}

// A host written as an IPv6 address in brackets brings its colons into the name: they, and any other
// unsafe character of the host and port, become "_". Other hosts keep their names as they were.
QString safeBracketHost(QString name)
{
    if (!name.startsWith(u'['))
        return name;
    const qsizetype close = name.indexOf(u']');
    qsizetype end = close < 0 ? name.size() : name.indexOf(u'_', close);
    if (end < 0)
        end = name.size();
    for (qsizetype i = 0; i < end; ++i)
        if (UrlUtil::UnsafeInFileName(name[i]))
            name[i] = u'_';
    return name;
}

QString longName(const QString &folder, const QString &url)
{
    if (isLocalFileUrl(url))
        return localFilePath(url);
    const QString s = trimBlanks(url);
    const QString ext = fileExtension(s);
    if (ext.isEmpty())
        return {};
    const QString base = s.chopped(ext.size());
    if (const int scheme = UrlUtil::WebSchemeLength(base)) {
        QString rest = flattened(base.mid(scheme));
        rest = rest.mid(rest.indexOf(u'@') + 1); // drops "user:password@"
        return folder + QLatin1StringView("/tmp/h") + safeBracketHost(rest) + ext;
    }
    if (startsWithNoCase(base, QLatin1StringView("ftp://")))
        return folder + QLatin1StringView("/tmp/f") + flattened(base.mid(6)) + ext;
    return {};
}

QString shortName(const QString &folder, const QString &url)
{
    if (isLocalFileUrl(url))
        return localFilePath(url);
    const qsizetype slash = url.lastIndexOf(u'/');
    QString name = slash < 0 ? QString() : url.mid(slash + 1);
    // A URL without a path: its last segment is the host.
    if (slash >= 2 && url.mid(slash - 2, 3) == QLatin1StringView("://"))
        name = safeBracketHost(name);
    if (name.isEmpty())
        name = QStringLiteral("Default.dat");
    return folder + QLatin1StringView("/tmp/") + name;
}

QString trueUrl(const QString &url)
{
    const QString s = trimBlanks(url);
    if (s.contains(u'?'))
        return s;
    if (isHostOnly(s))
        return s + u'/';
    // A URL already ending in "/" is a folder and must not get a second slash.
    if (s.endsWith(u'/') || !fileExtension(s).isEmpty())
        return s;
    return s + u'/';
}

// The query is not part of the path: a "/" inside it does not make a folder.
QString pathOf(const QString &url)
{
    QString u = trueUrl(url);
    const qsizetype query = u.indexOf(u'?');
    if (query >= 0) {
        u.truncate(query);
        if (isHostOnly(u))
            u += u'/';
    }
    return u;
}

QString directoryUrl(const QString &url)
{
    const QString u = pathOf(url);
    const qsizetype slash = u.lastIndexOf(u'/');
    return slash < 0 ? QString() : u.left(slash + 1);
}

QString parentUrl(const QString &url)
{
    const QString d = directoryUrl(url);
    if (d.size() < 2)
        return {};
    const qsizetype slash = d.lastIndexOf(u'/', d.size() - 2);
    return slash < 0 ? QString() : d.left(slash + 1);
}

QString rootUrl(const QString &url)
{
    const QString u = pathOf(url);
    const int scheme = UrlUtil::WebSchemeLength(u);
    if (scheme == 0)
        return QStringLiteral("Error");
    const qsizetype pathStart = u.indexOf(u'/', scheme);
    return pathStart < 0 ? u : u.left(pathStart);
}

QString absoluteUrl(const QString &base, const QString &link)
{
    const QString b = trueUrl(base);
    const QString l = trueUrl(link);
    if (l.startsWith(QLatin1StringView("//"))) // same scheme as the page
        return b.left(b.indexOf(u':') + 1) + l;
    if (l.startsWith(u'/'))
        return rootUrl(b) + l;
    if (l.startsWith(QLatin1StringView("./")))
        return directoryUrl(b) + l.mid(2);
    if (l.startsWith(QLatin1StringView("../")))
        return parentUrl(b) + l.mid(3);
    if (hasScheme(l))
        return l;
    return directoryUrl(b) + l;
}

template <typename Text>
Text cut(const Text &text, const Text &startMark, const Text &endMark, int from, int &next)
{
    next = -1;
    from = std::max(from, 1);
    if (startMark.isEmpty() || endMark.isEmpty() || from > text.size())
        return {};
    const qsizetype start = text.indexOf(startMark, from - 1);
    if (start < 0)
        return {};
    const qsizetype inner = start + startMark.size();
    const qsizetype end = text.indexOf(endMark, inner);
    if (end < 0)
        return {};
    // Scanning callers resume here: one character after the end mark is skipped.
    next = int(end + endMark.size() + 2);
    return text.mid(inner, end - inner);
}

QString quoted(const QString &text)
{
    if (!text.contains(u'"'))
        return text;
    int next = 0;
    const QString quote(u'"');
    return cut(text, quote, quote, 1, next);
}

QString replacedChar(const QString &text, const QString &find, const QString &repl)
{
    if (find.size() != 1)
        return text;
    QString out = text;
    if (repl.isEmpty())
        return out.remove(find[0]);
    return out.replace(find[0], repl[0]);
}

qint64 contentRangeTotal(const QString &headerText)
{
    int next = 0;
    QString v = cut(asciiLower(headerText), QStringLiteral("content-range:"), QStringLiteral("\r"), 1, next);
    const qsizetype slash = v.indexOf(u'/');
    if (slash >= 0)
        v = v.mid(slash + 1);
    bool ok = false;
    const qint64 total = v.toLongLong(&ok, 10);
    return ok && total > 0 ? total : 0;
}

struct TStatusText {
    int code;
    const char *text;
};

// A table of code and text, several to a line.
// clang-format off
constexpr TStatusText StatusTexts[] = {
    {100, "続行"}, {101, "プロトコルの切り替え"},
    {200, "OK"}, {201, "作成されました"}, {202, "受け付けられました"},
    {203, "信頼できない情報です"}, {204, "コンテンツではありません"},
    {205, "コンテンツのリセット"}, {206, "部分的なコンテンツ"},
    {300, "複数の選択肢"}, {301, "永久的な移動が行われました"},
    {302, "一時的な移動が行われました"}, {303, "他にアクセスしてください"},
    {304, "修正されませんでした"}, {305, "プロクシーを使用してください"},
    {400, "不正な要求"}, {401, "認証されていません"}, {402, "支払いが必要です"},
    {403, "禁止されています"}, {404, "見つかりません"}, {405, "許可されていない方式です"},
    {406, "受け付けられません"}, {407, "プロクシー認証が必要です"}, {408, "要求タイムアウト"},
    {409, "衝突があります"}, {410, "なくなりました"}, {411, "期間が必要です"},
    {412, "True でない限り"},
    {500, "内部サーバーエラー"}, {501, "実装されていません"}, {502, "不正なゲートウェイです"},
    {503, "サービスが利用できません"}, {504, "ゲートウェイタイムアウト"},
};
// clang-format on

QString statusText(int code)
{
    const auto *found = std::find_if(std::begin(StatusTexts), std::end(StatusTexts),
                                     [code](const TStatusText &s) { return s.code == code; });
    const char *text = found == std::end(StatusTexts) ? "？？？" : found->text;
    return QString::fromUtf8(text) + u'(' + QString::number(code) + u')';
}

qint64 fileSize(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.size();
}

} // namespace

// Never throws: it runs inside a guard's catch block, often on a worker thread.
void UrlUtil::ReportGuard(const char *operation) noexcept
{
    try {
        qCDebug(lcNet, "%s raised: %s", operation, qUtf8Printable(CaughtText()));
        TGuardReporter reporter;
        {
            std::lock_guard lock(reporterSlot().mutex);
            reporter = reporterSlot().reporter;
        }
        if (reporter)
            reporter(QString::fromLatin1(operation));
        else
            std::fprintf(stderr, "except: %s\n", operation);
    } catch (...) {
        qCWarning(lcNet, "reporting that %s raised failed as well", operation);
    }
}

void UrlUtil::SetGuardReporter(TGuardReporter reporter)
{
    std::lock_guard lock(reporterSlot().mutex);
    reporterSlot().reporter = std::move(reporter);
}

QString UrlUtil::SetFileName(const QString &folder, const QString &url)
{
    return Guarded("SetFileName", [&] { return longName(folder, url); });
}

QString UrlUtil::SetFileNameS(const QString &folder, const QString &url)
{
    return Guarded("SetFileNameS", [&] { return shortName(folder, url); });
}

QString UrlUtil::GetFilePathEx(const QString &url)
{
    return Guarded("GetFilePathEx", [&] { return fileExtension(url); });
}

QString UrlUtil::ParseTrueURL(const QString &url)
{
    return Guarded("ParseTrueURL", [&] { return trueUrl(url); });
}

QString UrlUtil::ParseCuURL(const QString &url)
{
    return Guarded("ParseCuURL", [&] { return directoryUrl(url); });
}

QString UrlUtil::GetUrlA(const QString &base, const QString &link)
{
    return Guarded("GetUrlA", [&] { return absoluteUrl(base, link); });
}

QString UrlUtil::DelQuote(const QString &text)
{
    return Guarded("DelQuote", [&] { return quoted(text); });
}

QString UrlUtil::StrCut(const QString &text, const QString &startMark, const QString &endMark, int from, int &next)
{
    next = -1;
    return Guarded("StrCut", [&] { return cut(text, startMark, endMark, from, next); });
}

QByteArray UrlUtil::StrCut(const QByteArray &text, const QByteArray &startMark, const QByteArray &endMark, int from,
                           int &next)
{
    next = -1;
    return Guarded("StrCut", [&] { return cut(text, startMark, endMark, from, next); });
}

QString UrlUtil::RepChar(const QString &text, const QString &find, const QString &repl)
{
    return Guarded("RepChar", [&] { return replacedChar(text, find, repl); });
}

qint64 UrlUtil::GetLength(const QString &headerText)
{
    return Guarded("GetLength", [&] { return contentRangeTotal(headerText); });
}

QString UrlUtil::HttpMsg(int code)
{
    return Guarded("HttpMsg", [&] { return statusText(code); });
}

qint64 UrlUtil::FileSize2(const QString &fileName)
{
    return Guarded("FileSize2", [&] { return fileSize(fileName); });
}

bool UrlUtil::UnsafeInFileName(QChar c)
{
    return c.unicode() < 0x20 || c == u'/' || c == u'\\' || c == u'?' || c == u'*' || c == u':' || c == u'"'
           || c == u'<' || c == u'>' || c == u'|' || c == u'.' || c == QChar(0x7f);
}

int UrlUtil::WebSchemeLength(const QString &url)
{
    if (startsWithNoCase(url, QLatin1StringView("http://")))
        return 7;
    return IsHttpsUrl(url) ? 8 : 0;
}

bool UrlUtil::IsHttpsUrl(const QString &url)
{
    return startsWithNoCase(url, QLatin1StringView("https://"));
}

QString UrlUtil::AsHttpUrl(const QString &url)
{
    return IsHttpsUrl(url) ? QLatin1StringView("http://") + url.mid(8) : url;
}

void UrlUtil::DoEvents()
{
    Guarded("DoEvents", [] { QCoreApplication::processEvents(); });
}
