// The URL and header rules on any text: no rule may throw (its guard would report it), and the
// rules keep the promises their callers build on.
#include "download/LocalFileName.h"
#include "download/UrlUtil.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QHash>

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::StartApplication();
    UrlUtil::SetGuardReporter([](const QString &operation) {
        std::fprintf(stderr, "guard caught an exception in %s\n", qPrintable(operation));
        std::abort();
    });
    return 0;
}

namespace {

// Every line a row of one list: two URLs (their transport aside) never share a file, nor is one's
// file the other's partial file; one URL always gets the same, and every file stays in tmp with a
// name a file system takes.
void CheckClaims(const QString &folder, const QList<QByteArray> &lines)
{
    for (const bool longNames : {true, false}) {
        LocalFileName::TClaims claims(folder, longNames);
        QHash<QString, QString> owners;
        for (const QByteArray &line : lines) {
            const QString url = QString::fromUtf8(line);
            if (url.startsWith(QStringLiteral("file://")))
                continue;
            const QString file = claims.Claim(url);
            const QString key = UrlUtil::AsHttpUrl(url);
            FuzzSupport::Check(owners.value(file, key) == key && owners.value(file + u'_', key) == key
                                   && (!file.endsWith(u'_') || owners.value(file.chopped(1), key) == key),
                               "two URLs of one list share a file or a partial file");
            owners.insert(file, key);
            FuzzSupport::Check(claims.Claim(url) == file, "a URL keeps its file");
            const QString name = file.mid(folder.size() + 5);
            FuzzSupport::Check(file.startsWith(folder + "/tmp/") && !name.contains(u'/') && name != "." && name != ".."
                                   && name.toUtf8().size() <= 247,
                               "a claimed file stays in tmp and fits a file name");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Lines of the input are the texts; the first byte also picks a start position.
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QByteArray> parts = bytes.split('\n');
    const QString a = QString::fromUtf8(parts.value(0));
    const QString b = QString::fromUtf8(parts.value(1));
    const QString c = QString::fromUtf8(parts.value(2));
    const int from = size > 0 ? int(int8_t(data[0])) : 1;
    const QString folder = QStringLiteral("/p");

    for (const QString &url : {a, b}) {
        const QString name = UrlUtil::SetFileName(folder, url);
        FuzzSupport::Check(name.isEmpty() || url.startsWith(QStringLiteral("file://"))
                               || name.startsWith(folder + "/tmp/"),
                           "long names stay below tmp");
        UrlUtil::SetFileNameS(folder, url);
        UrlUtil::GetFilePathEx(url);
        const QString cu = UrlUtil::ParseCuURL(url);
        FuzzSupport::Check(cu.isEmpty() || cu.endsWith(u'/'), "a folder URL ends in /");
        UrlUtil::DelQuote(url);
        // A job's file never leaves the download folder, whatever part text a list gives.
        const QString &part = c;
        for (const bool longNames : {true, false}) {
            const QString file = LocalFileName::For(folder, url, longNames) + LocalFileName::PartText(part);
            const QString inTmp = file.mid(folder.size() + 5);
            FuzzSupport::Check(url.startsWith(QStringLiteral("file://"))
                                   || (file.startsWith(folder + "/tmp/") && !inTmp.contains(u'/') && inTmp != "."
                                       && inTmp != ".."),
                               "a job's file stays in tmp");
            FuzzSupport::Check(std::none_of(file.cbegin(), file.cend(), UrlUtil::IsControl),
                               "no control character reaches the file system");
        }
        LocalFileName::Fallback(folder, url);
        // A URL the rule passes has a web scheme and nothing that could split a list line.
        const QString problem = UrlUtil::FetchProblem(url);
        FuzzSupport::Check(!problem.isEmpty()
                               || (UrlUtil::IsWebUrl(url) && !url.contains(u'\n') && !url.contains(u'\r')),
                           "a fetchable URL is a web URL on one line");
        FuzzSupport::Check(problem == UrlUtil::JobUrlProblem(url) || url.startsWith(QStringLiteral("file://")),
                           "jobs and fetches agree but for local files");
        UrlUtil::GetLength(url);
    }
    CheckClaims(folder, parts);
    UrlUtil::ParseTrueURL(a);
    UrlUtil::GetUrlA(a, b);
    int next = 0;
    UrlUtil::StrCut(a, b, c, from, next);
    FuzzSupport::Check(next == -1 || (next > 0 && next <= a.size() + 2), "StrCut's next position");
    UrlUtil::StrCut(parts.value(0), parts.value(1), parts.value(2), from, next);
    UrlUtil::RepChar(a, b, c);
    UrlUtil::HttpMsg(from * 7);
    UrlUtil::GetLength(QString::fromLatin1(bytes));
    return 0;
}
