#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Stateless URL, local-file-name and header rules shared by the whole program.
// Every operation catches its own exceptions, reports its name and returns an empty or zero result,
// so a faulty rule never takes a worker thread or the event loop down with it.
class UrlUtil
{
public:
    // Reports an operation whose guard caught an exception. Default: one line on stderr
    // "except: <OperationName>". The GUI installs a message box (text = operation name,
    // caption "except", OK/Cancel) through this hook; it may be called from any thread.
    // An empty reporter restores the default.
    using TGuardReporter = std::function<void(const QString &operation)>;
    static void SetGuardReporter(TGuardReporter reporter);

    // Local file names below folder + "/tmp": long form flattens host and path into one name
    // (empty when none can be formed), short form keeps the last segment.
    static QString SetFileName(const QString &folder, const QString &url);
    static QString SetFileNameS(const QString &folder, const QString &url);
    // Extension of the last segment, dot included, case kept; empty for a query URL.
    static QString GetFilePathEx(const QString &url);
    // A file URL (last segment has an extension) stays; anything else ends in "/".
    static QString ParseTrueURL(const QString &url);
    // The folder of a URL, ending in "/" (empty when none).
    static QString ParseCuURL(const QString &url);
    // The absolute URL of a link found in the page at base.
    static QString GetUrlA(const QString &base, const QString &link);
    // The text between the first two double quotes, or the text itself when it has none.
    static QString DelQuote(const QString &text);
    // Cuts the text between startMark and endMark, searching from the 1-based position from.
    // next is the 1-based position two past the end mark's last character, -1 when nothing is cut.
    static QString StrCut(const QString &text, const QString &startMark, const QString &endMark, int from, int &next);
    static QByteArray StrCut(const QByteArray &text, const QByteArray &startMark, const QByteArray &endMark, int from,
                             int &next);
    // Replaces every character equal to the one-character find by the first character of repl.
    static QString RepChar(const QString &text, const QString &find, const QString &repl);
    // Total size after "/" in the Content-Range line of a header text; 0 when there is none.
    static qint64 GetLength(const QString &headerText);
    // Display text of an HTTP status code, e.g. "見つかりません(404)".
    static QString HttpMsg(int code);
    // Size of a file in bytes, -1 when it cannot be opened for reading.
    static qint64 FileSize2(const QString &fileName);
    // Runs the calling thread's pending events without waiting for new ones.
    static void DoEvents();
    // A C0 or C1 control character: never part of a URL the program takes, nor of a local name.
    static bool IsControl(QChar c);
    // A character a local file name must not carry on any system the lists travel to.
    static bool UnsafeInFileName(QChar c);
    // Length of the "http://" or "https://" that starts url, in any letter case; 0 for any other URL.
    static int WebSchemeLength(const QString &url);
    // A URL the program fetches over the web: it starts with "http://" or "https://".
    static bool IsWebUrl(const QString &url) { return WebSchemeLength(url) > 0; }
    static bool IsHttpsUrl(const QString &url);
    // The URL with its "https://" written "http://": the scheme is not part of a local name, so a site
    // that moved to HTTPS keeps its files. Any other URL stays as it is.
    static QString AsHttpUrl(const QString &url);

    // The longest URL a job may have, counted as a list file stores it: its row must still fit the
    // list loader's 64 KiB line, with room for the other cells.
    static constexpr int MaxUrlBytes = 63 * 1024;
    // Why the program cannot fetch url, in the words the interface shows; empty when it can: an http
    // or https URL with a host, a port in 1..65535 if one is given, no blanks or control characters,
    // and no longer than MaxUrlBytes. Every part that takes or fetches a URL asks this one rule.
    static QString FetchProblem(const QString &url);
    // Why url cannot be a job of the list: FetchProblem, except that a local "file://" URL (listed,
    // shown and dragged, never fetched) is taken, blanks in its path included.
    static QString JobUrlProblem(const QString &url);
    // The reason given for a URL longer than MaxUrlBytes, for a reader that refuses it unread.
    static QString TooLongProblem();

    // The guard every operation above runs in: an exception is reported under the operation's
    // name and yields the value-initialised result (empty text, 0, or nothing).
    template <typename Rule>
    static auto Guarded(const char *operation, Rule rule) -> decltype(rule())
    {
        try {
            return rule();
        } catch (...) {
            ReportGuard(operation);
            return decltype(rule())();
        }
    }

private:
    static void ReportGuard(const char *operation) noexcept;
};
