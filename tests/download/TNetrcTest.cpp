#include "download/TNetrc.h"

#include "tests/support/TempFolder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {
QString LoginOf(const TNetrc &netrc, const QString &host)
{
    const std::optional<TNetrc::TLogin> login = netrc.For(host);
    return login ? login->login + ':' + login->password : QStringLiteral("(none)");
}
} // namespace

// Catches a macro's body read as entries, a quoted password cut at its blank, the default taken
// before a machine's own entry, and a machine matched by case.
TEST(TNetrcTest, EntriesMachinesAndDefault)
{
    const TNetrc netrc = TNetrc::Parse("# a comment is just words\n"
                                       "machine Files.Example.com login anna password \"se cr\\\"et\"\n"
                                       "macdef init\n"
                                       "machine evil.example login mallory password x\n"
                                       "\n"
                                       "machine other.example account a1 login bob\tpassword b port 21\n"
                                       "default login guest password guest\n"
                                       "machine late.example login late password l\n"
                                       "machine");
    EXPECT_EQ(LoginOf(netrc, "files.example.COM"), "anna:se cr\"et");
    EXPECT_EQ(LoginOf(netrc, "other.example"), "bob:b");
    EXPECT_EQ(LoginOf(netrc, "late.example"), "late:l");
    EXPECT_EQ(LoginOf(netrc, "evil.example"), "guest:guest") << "inside a macro";
    EXPECT_EQ(LoginOf(netrc, "127.0.0.1"), "guest:guest");
    EXPECT_EQ(LoginOf(TNetrc::Parse("machine a login x password y"), "b"), "(none)");
    EXPECT_EQ(LoginOf(TNetrc::Parse(""), "a"), "(none)");
}

// Catches a file others can read (or that is no file at all) used anyway, and a warning that does
// not say why.
TEST(TNetrcTest, OnlyAFileOnlyItsOwnerCanReadIsUsed)
{
    TTempFolder temp;
    const QString path = temp.write(".netrc", "machine h login u password p\n");
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0600), 0);
    TNetrc::TLoad load = TNetrc::Load(path);
    EXPECT_TRUE(load.warning.isEmpty()) << load.warning.toStdString();
    EXPECT_EQ(LoginOf(*load.netrc, "h"), "u:p");

    for (const mode_t mode : {0644, 0640, 0602}) {
        ASSERT_EQ(chmod(QFile::encodeName(path).constData(), mode), 0);
        load = TNetrc::Load(path);
        EXPECT_EQ(LoginOf(*load.netrc, "h"), "(none)") << mode;
        EXPECT_TRUE(load.warning.startsWith(path + ": not used: others than its owner may read or write it (mode 0"))
            << load.warning.toStdString();
    }
    const QString fifo = temp.file("fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(TNetrc::Load(fifo).warning, fifo + ": not used: not a regular file");
    EXPECT_TRUE(TNetrc::Load(temp.file("missing")).warning.endsWith("No such file or directory"));
}
