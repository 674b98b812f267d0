#include "core/TMergeFiles.h"

#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempFolder.h"

#include <QDir>
#include <QFileInfo>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using ::testing::AllOf;
using ::testing::HasSubstr;

namespace {

// Twelve parts of different sizes and contents, one larger than a copy block; appends them to whole.
QStringList WriteParts(const TTempFolder &dir, QByteArray &whole)
{
    QStringList parts;
    for (int i = 1; i <= 12; ++i) {
        const QByteArray bytes(i == 5 ? (3 << 19) + 7 : 1000 * i + 1, char('a' + i));
        parts.append(dir.write(QStringLiteral("big.zip%1").arg(i, 3, 10, QLatin1Char('0')), bytes));
        whole.append(bytes);
    }
    return parts;
}

} // namespace

// Catches parts joined by name instead of list order, a lost or repeated block, a missing part
// stopping the merge, a failed read or write reported as success or leaving a short file, and a
// full disk reported as "Unknown error".
TEST(TMergeFilesTest, JoinsPartsInListOrderOrKeepsTheTargetAndSaysWhy)
{
    TTempFolder dir;
    QByteArray whole;
    QStringList parts = WriteParts(dir, whole);
    const QString target = dir.write("big.zip", "an earlier merge");
    const auto merge = [&](const QStringList &sources, rlim_t limit) { // the error, empty on success
        QString error;
        const TFileSizeLimit diskFull(limit);
        return TMergeFiles::Merge(sources, target, &error) ? std::string() : error.toStdString();
    };
    EXPECT_THAT(merge({parts[0], dir.path(), parts[1]}, RLIM_INFINITY), HasSubstr(dir.path().toStdString()));
    // Runs out in the last, small part: a write that a buffer would hide until the end. The disk
    // takes part of the write first; the message must still give the system's reason.
    EXPECT_THAT(merge(parts, rlim_t(whole.size()) - 1), AllOf(HasSubstr("big.zip"), HasSubstr(std::strerror(EFBIG))));
    EXPECT_EQ(dir.read("big.zip"), "an earlier merge");
    EXPECT_FALSE(TMergeFiles::Merge(parts, dir.write("plain", "a file") + "/big.zip", nullptr));

    parts.move(11, 0);
    parts.insert(3, dir.file("big.zip013"));
    ASSERT_EQ(merge(parts, RLIM_INFINITY), "");
    EXPECT_EQ(dir.read("big.zip"), whole.right(12001) + whole.chopped(12001));
}

// Catches a part read, or the whole file written, through a link at its name: another file's bytes
// joined in, a dangling link taken for a missing part, or a file outside the folder overwritten or
// created; and a temporary file left behind.
TEST(TMergeFilesTest, RefusesLinksAtThePartsAndTheWholeFile)
{
    TTempFolder dir, outside;
    const QString secret = outside.write("secret", "not a part"), precious = outside.write("precious", "keep me");
    const QStringList parts = {dir.write("a.zip001", "one"), dir.file("a.zip002")};
    const QString target = dir.file("a.zip");
    QString error;
    for (const QString &to : {secret, outside.file("gone")}) {
        QFile::remove(parts[1]);
        ASSERT_TRUE(QFile::link(to, parts[1]));
        EXPECT_FALSE(TMergeFiles::Merge(parts, target, &error));
        EXPECT_THAT(error.toStdString(), HasSubstr("「a.zip002」はシンボリックリンクです。"));
        EXPECT_FALSE(QFileInfo::exists(target));
    }
    QFile::remove(parts[1]);
    dir.write("a.zip002", "two");
    for (const QString &to : {precious, outside.file("new")}) {
        QFile::remove(target);
        ASSERT_TRUE(QFile::link(to, target));
        EXPECT_FALSE(TMergeFiles::Merge(parts, target, &error));
        EXPECT_THAT(error.toStdString(), HasSubstr("「a.zip」はシンボリックリンクです。"));
        EXPECT_TRUE(QFileInfo(target).isSymLink());
    }
    EXPECT_EQ(ReadFileOrMissing(precious), "keep me");
    EXPECT_FALSE(QFileInfo::exists(outside.file("new")));
    QFile::remove(target);
    ASSERT_TRUE(TMergeFiles::Merge(parts, target, &error)) << error.toStdString();
    EXPECT_EQ(ReadFileOrMissing(target), "onetwo");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System), QStringList({"a.zip", "a.zip001", "a.zip002"}));
}
