#include "FileSizeLimit.h"
#include "TMergeFiles.h"
#include "TempFolder.h"

#include <cerrno>
#include <cstring>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
