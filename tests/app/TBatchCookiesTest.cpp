#include "app/TBatchOptions.h"
#include "app/TBatchRun.h"
#include "app/TStartOptions.h"
#include "tests/support/BatchRunner.h"
#include "tests/support/NetrcFile.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

namespace {
using S = TScriptedServer;

// Over the 20 KB a file must have with the default settings.
const QByteArray Ok = "HTTP/1.1 200 OK\r\nContent-Length: 25000\r\n\r\n" + QByteArray(25000, 'g');

// A Firefox cookie database as the browser leaves it.
QString WriteDatabase(const TTempFolder &temp)
{
    const QString path = temp.file("cookies.sqlite");
    sqlite3 *db = nullptr;
    EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    const char *sql = "CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, name TEXT, value TEXT, host TEXT, path TEXT,"
                      " expiry INTEGER, isSecure INTEGER);"
                      "INSERT INTO moz_cookies (name, value, host, path, expiry, isSecure) VALUES"
                      " ('sid', 'abc', '127.0.0.1', '/', 4000000000, 0),"
                      " ('old', 'o', '127.0.0.1', '/', 1000, 0),"
                      " ('safe', 's', '127.0.0.1', '/', 4000000000, 1),"
                      " ('away', 'a', 'example.com', '/', 4000000000, 0)";
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    return path;
}
} // namespace

// Catches the options or the settings keys read but not reaching the workers, and cookies of the
// database sent where they may not go.
TEST(TBatchCookiesTest, CookieFileAndNetrcFromOptionsOrSettings)
{
    EXPECT_TRUE(TStartOptions::Usage().contains("--cookies FILE"));
    EXPECT_TRUE(TStartOptions::Usage().contains("--netrc"));
    TTempFolder temp;
    const QString database = WriteDatabase(temp);
    const TNetrcVariable netrc(WriteNetrc(temp, 0600));
    const QByteArray login = "\r\nAuthorization: Basic " + QByteArray("anna:pw").toBase64() + "\r\n";
    for (const bool fromSettings : {false, true}) {
        S server;
        server.Play({S::Send(Ok)});
        const QString url = server.Url(fromSettings ? "/s.jpg" : "/o.jpg");
        temp.write("none.ini",
                   fromSettings ? "[Data]\r\nCookieFile=" + database.toLocal8Bit() + "\r\nNetrc=1\r\n" : "");
        const TBatchResult run = RunBatch(temp, fromSettings
                                                    ? QStringList{"--add", url}
                                                    : QStringList{"--cookies", database, "--netrc", "--add", url});
        EXPECT_EQ(run.status, TBatchRun::ExitComplete) << run.err.toStdString();
        EXPECT_EQ(run.err, "");
        const QByteArray request = server.Request();
        EXPECT_TRUE(request.contains("\r\nCookie: sid=abc\r\n")) << request.toStdString();
        EXPECT_TRUE(request.contains(login)) << request.toStdString();
    }
}

// Catches a cookie file that cannot be read passed over in silence (the run would fetch login pages
// in place of the files), bad lines not reported, and a .netrc others can read used anyway.
TEST(TBatchCookiesTest, FilesThatCannotBeUsedAreSaid)
{
    TTempFolder temp;
    S server;
    server.Play({S::Send(Ok)});
    const QString missing = temp.file("missing.txt");
    TBatchResult run = RunBatch(temp, {"--cookies", missing, "--add", server.Url("/a.jpg")});
    EXPECT_EQ(run.status, TBatchRun::ExitUsage);
    EXPECT_TRUE(run.err.startsWith("pelmor: " + missing + ": cookies not loaded: ")) << run.err.toStdString();
    EXPECT_EQ(server.AllRequests(), 0);

    const QString text = temp.write("cookies.txt", "127.0.0.1\tFALSE\t/\tFALSE\t0\tgood\t1\nnot a cookie\n");
    const TNetrcVariable netrc(WriteNetrc(temp, 0644));
    run = RunBatch(temp, {"--cookies", text, "--netrc", "--add", server.Url("/b.jpg")});
    EXPECT_EQ(run.status, TBatchRun::ExitComplete) << run.err.toStdString();
    EXPECT_EQ(run.err, QStringLiteral("pelmor: %1: 1 bad cookie lines skipped (lines 2)\n"
                                      "pelmor: %2: not used: others than its owner may read or write it (mode 0644; "
                                      "chmod 600 it)\n")
                           .arg(text, temp.file("netrc")));
    const QByteArray request = server.Request();
    EXPECT_TRUE(request.contains("\r\nCookie: good=1\r\n")) << request.toStdString();
    EXPECT_FALSE(request.contains("Authorization:")) << request.toStdString();
}
