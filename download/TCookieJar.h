#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

// Cookies a browser saved (a Netscape cookies.txt or a Firefox cookies.sqlite), sent only where
// RFC 6265 lets each go. Never changed once loaded, so every worker thread reads one jar without locks.
class TCookieJar
{
public:
    struct TCookie {
        QString domain;       // lower case, without a leading "."
        bool hostOnly = true; // sent to domain alone; else to its subdomains too
        QString path = QStringLiteral("/");
        bool secure = false; // over https only
        qint64 expiry = 0;   // seconds since 1970; 0: a session cookie, kept
        QString name;
        QString value;
    };
    // What a load gave: the jar (empty, never null) and, line by line, what was passed over.
    struct TLoad {
        std::shared_ptr<const TCookieJar> jar = std::make_shared<const TCookieJar>();
        QString error;            // why the file was refused whole; empty when it was read
        int badLines = 0;         // lines (or rows) skipped
        QList<int> firstBadLines; // the first few of them, from 1
        // One line for the user about what went wrong; empty when nothing did.
        QString Warning(const QString &fileName) const;
        void SkipBad(int number);
    };

    static constexpr qint64 MaxFileBytes = qint64(64) << 20;
    static constexpr int MaxLineBytes = 16 << 10;
    static constexpr int MaxCookies = 1000000;

    // Reads fileName: a SQLite file as Firefox's cookie database (from a copy), anything else as cookies.txt.
    static TLoad Load(const QString &fileName);
    // The lines of a Netscape cookies.txt; bad lines are skipped and counted.
    static TLoad ReadText(const QByteArray &text);
    // A Firefox cookies.sqlite, read from a copy in a temporary folder (the browser may hold it).
    static TLoad ReadSqlite(const QString &fileName);

    const QList<TCookie> &Cookies() const { return FCookies; }
    // The Cookie line for a request to url at now (seconds since 1970): the jar's cookies that may go
    // there, longer paths first, then serverCookie (the cookie the program keeps for the host, sent as
    // it came), whose name takes the place of a jar cookie of the same name. Empty when none.
    QString HeaderFor(const QString &url, qint64 now, const QString &serverCookie = {}) const;

private:
    // Puts a cookie as a file gives it into shape; false when it cannot be sent safely.
    static bool Take(TCookie &cookie);

    QList<TCookie> FCookies;
};
