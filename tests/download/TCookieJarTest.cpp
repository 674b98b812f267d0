#include "download/TCookieJar.h"

#include "tests/support/TempFolder.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

namespace {
constexpr qint64 Now = 1800000000;

QByteArray Line(const QByteArray &domain, const QByteArray &sub, const QByteArray &path, const QByteArray &secure,
                qint64 expiry, const QByteArray &name, const QByteArray &value)
{
    return domain + '\t' + sub + '\t' + path + '\t' + secure + '\t' + QByteArray::number(expiry) + '\t' + name + '\t'
           + value + '\n';
}

std::shared_ptr<const TCookieJar> Jar(const QByteArray &text)
{
    const TCookieJar::TLoad load = TCookieJar::ReadText(text);
    EXPECT_EQ(load.badLines, 0) << load.Warning("jar").toStdString();
    return load.jar;
}

// Runs each statement on a new database at path; the connection stays open when keepOpen is set,
// so that a write-ahead log keeps what was written (the browser running).
sqlite3 *MakeDatabase(const QString &path, const QList<QByteArray> &statements, bool keepOpen = false)
{
    sqlite3 *db = nullptr;
    EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    for (const QByteArray &sql : statements)
        EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK) << sql.constData();
    if (keepOpen)
        return db;
    sqlite3_close(db);
    return nullptr;
}

const QList<QByteArray> MozCookies = {
    "CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL DEFAULT '', name TEXT, "
    "value TEXT, host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER, creationTime INTEGER, "
    "isSecure INTEGER, isHttpOnly INTEGER)",
    "INSERT INTO moz_cookies (name, value, host, path, expiry, isSecure) VALUES "
    "('sid', 'abc', '.example.com', '/', 1900000000, 0), "
    "('only', 'here', 'example.com', '/pics', 1900000000, 0), "
    "('safe', 's', 'example.com', '/', 1900000000, 1), "
    "('old', 'o', 'example.com', '/', 1700000000, 0), "
    "('ms', 'm', 'example.com', '/', 1900000000000, 0), "
    "('bad', 'a;b', 'example.com', '/', 1900000000, 0)",
};
} // namespace

// Catches lines taken that the format does not allow (or that would break the request line), good
// lines lost around them, and a warning that does not say where.
TEST(TCookieJarTest, TextReaderTakesGoodLinesAndCountsBadOnes)
{
    const QByteArray text = "# Netscape HTTP Cookie File\r\n"
                            "\n"
                            + Line(".example.com", "TRUE", "/", "FALSE", 0, "a", "1")                       // 3
                            + "#HttpOnly_" + Line("example.com", "FALSE", "/x", "TRUE", Now + 10, "b", "2") // 4
                            + "example.com\tFALSE\t/\tFALSE\t0\tshort\n"                               // 5: six fields
                            + Line("example.com", "MAYBE", "/", "FALSE", 0, "c", "3")                  // 6
                            + "example.com\tFALSE\t/\tFALSE\tsoon\tc\t3\n"                             // 7
                            + Line("example.com", "FALSE", "/", "FALSE", 0, "c", "3\r4")               // 8
                            + Line("example.com", "FALSE", "/", "FALSE", 0, "c", QByteArray("\0x", 2)) // 9
                            + Line("example.com", "FALSE", "/", "FALSE", 0, "c;d", "3")                // 10
                            + Line("exa mple.com", "FALSE", "/", "FALSE", 0, "c", "3")                 // 11
                            + Line("example.com", "FALSE", "/", "FALSE", 0, "big", QByteArray(70000, 'v')) // 12
                            + Line("example.com", "FALSE", "relative", "FALSE", 0, "c", "3")               // 13
                            + Line("EXAMPLE.org", "FALSE", "", "FALSE", 0, "d", "4");                      // 14
    const TCookieJar::TLoad load = TCookieJar::ReadText(text);
    ASSERT_EQ(load.jar->Cookies().size(), 3);
    const TCookieJar::TCookie &a = load.jar->Cookies()[0];
    EXPECT_EQ(a.domain, "example.com");
    EXPECT_FALSE(a.hostOnly);
    EXPECT_EQ(a.expiry, 0);
    const TCookieJar::TCookie &b = load.jar->Cookies()[1];
    EXPECT_TRUE(b.hostOnly);
    EXPECT_TRUE(b.secure);
    EXPECT_EQ(b.path, "/x");
    EXPECT_EQ(load.jar->Cookies()[2].domain, "example.org");
    EXPECT_EQ(load.jar->Cookies()[2].path, "/");
    EXPECT_EQ(load.badLines, 9);
    EXPECT_EQ(load.Warning("c.txt"), "c.txt: 9 bad cookie lines skipped (lines 5, 6, 7, 8, 9, …)");
    EXPECT_TRUE(load.error.isEmpty());
}

// Catches a cookie sent beyond its domain, path, transport or lifetime, a host-only cookie sent to a
// subdomain, a "domain" that is a whole top-level domain, the wrong order, and a file cookie that
// wins over the one the server just set.
TEST(TCookieJarTest, CookiesGoOnlyWhereTheyMay)
{
    const auto jar = Jar(Line(".example.com", "TRUE", "/", "FALSE", 0, "dom", "1")
                         + Line("example.com", "FALSE", "/", "FALSE", 0, "host", "2")
                         + Line("example.com", "FALSE", "/pics", "FALSE", 0, "pics", "3")
                         + Line("example.com", "FALSE", "/pics/", "FALSE", 0, "slash", "4")
                         + Line("example.com", "FALSE", "/", "TRUE", 0, "secure", "5")
                         + Line("example.com", "FALSE", "/", "FALSE", Now - 1, "expired", "6")
                         + Line("example.com", "FALSE", "/", "FALSE", Now + 1, "fresh", "7")
                         + Line(".com", "TRUE", "/", "FALSE", 0, "tld", "8")
                         + Line("127.0.0.1", "TRUE", "/", "FALSE", 0, "ip", "9"));
    const auto header = [&jar](const QString &url, const QString &server = {}) {
        return jar->HeaderFor(url, Now, server);
    };
    EXPECT_EQ(header("http://example.com/a.jpg"), "dom=1; host=2; fresh=7");
    EXPECT_EQ(header("https://EXAMPLE.com:8443/a.jpg"), "dom=1; host=2; secure=5; fresh=7");
    EXPECT_EQ(header("http://www.example.com/pics/a.jpg"), "dom=1");
    EXPECT_EQ(header("http://example.com/pics/a.jpg?x=/y"), "slash=4; pics=3; dom=1; host=2; fresh=7");
    EXPECT_EQ(header("http://example.com/pics"), "pics=3; dom=1; host=2; fresh=7");
    EXPECT_EQ(header("http://example.com/picsmore/a.jpg"), "dom=1; host=2; fresh=7");
    EXPECT_EQ(header("http://badexample.com/"), "");
    EXPECT_EQ(header("http://com/"), "tld=8") << "a bare top-level domain names that host alone";
    EXPECT_EQ(header("http://127.0.0.1:8080/"), "ip=9");
    EXPECT_EQ(header("http://1.127.0.0.1/"), "");
    // The server's cookie goes as it came, last, in the place of the file's of its name.
    EXPECT_EQ(header("http://example.com/", "host=new; path=/"), "dom=1; fresh=7; host=new; path=/");
    EXPECT_EQ(header("http://other.org/", "x=1"), "x=1");
}

// Catches a database read in place (the browser's lock, or a change to it), the write-ahead log
// left behind (the latest cookies lost), and rows taken that would break the request.
TEST(TCookieJarTest, FirefoxDatabaseIsReadFromACopyWithItsLog)
{
    TTempFolder temp;
    const QString path = temp.file("cookies.sqlite");
    sqlite3 *browser = MakeDatabase(path,
                                    QList<QByteArray>{"PRAGMA journal_mode=WAL"} + MozCookies
                                        + QList<QByteArray>{"PRAGMA wal_autocheckpoint=0",
                                                            "INSERT INTO moz_cookies (name, value, host, path, "
                                                            "expiry, isSecure) VALUES ('late', 'l', "
                                                            "'example.com', '/', 0, 0)"},
                                    true);
    ASSERT_TRUE(QFileInfo::exists(path + "-wal"));
    const QByteArray before = temp.read("cookies.sqlite") + temp.read("cookies.sqlite-wal");
    const QDateTime modified = QFileInfo(path).lastModified();

    const TCookieJar::TLoad load = TCookieJar::Load(path);
    EXPECT_EQ(before, temp.read("cookies.sqlite") + temp.read("cookies.sqlite-wal"));
    EXPECT_EQ(modified, QFileInfo(path).lastModified());
    sqlite3_close(browser);
    ASSERT_TRUE(load.error.isEmpty()) << load.error.toStdString();
    EXPECT_EQ(load.badLines, 1) << "the cookie whose value holds a ';'";
    EXPECT_EQ(load.jar->HeaderFor("https://www.example.com/pics/1.jpg", Now), "sid=abc");
    EXPECT_EQ(load.jar->HeaderFor("https://example.com/pics/1.jpg", Now), "only=here; sid=abc; safe=s; ms=m; late=l");
    EXPECT_EQ(load.jar->HeaderFor("http://example.com/", Now), "sid=abc; ms=m; late=l");
}

// Catches a crash or a half-read jar on a damaged or foreign database, and a fifo that hangs the load.
TEST(TCookieJarTest, DamagedOrForeignFilesAreRefusedWhole)
{
    TTempFolder temp;
    const QString good = temp.file("good.sqlite");
    MakeDatabase(good, MozCookies
                           + QList<QByteArray>{"INSERT INTO moz_cookies (name, value, host, path, expiry, "
                                               "isSecure) SELECT 'n' || id, zeroblob(500), 'example.com', "
                                               "'/', 0, 0 FROM moz_cookies"});
    QByteArray bytes = temp.read("good.sqlite");
    ASSERT_GT(bytes.size(), 4096);
    // The pages after the first, where the table's rows live, overwritten with noise.
    for (qsizetype i = 4096; i < bytes.size(); ++i)
        bytes[i] = char((i * 7919) >> 3);
    const QString damaged = temp.write("damaged.sqlite", bytes);
    const QString foreign = temp.file("places.sqlite");
    MakeDatabase(foreign, {"CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url TEXT)"});
    const QString truncated = temp.write("truncated.sqlite", temp.read("good.sqlite").left(100));
    const QString fifo = temp.file("fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    for (const QString &file : {damaged, foreign, truncated, fifo, temp.file("missing.txt")}) {
        const TCookieJar::TLoad load = TCookieJar::Load(file);
        EXPECT_FALSE(load.error.isEmpty()) << file.toStdString();
        EXPECT_TRUE(load.jar->Cookies().isEmpty()) << file.toStdString();
        EXPECT_TRUE(load.Warning(file).startsWith(file + ": cookies not loaded: ")) << load.Warning(file).toStdString();
    }
    EXPECT_TRUE(TCookieJar::Load(foreign).error.startsWith("not a Firefox cookie database"));
}
