#include "FileSizeLimit.h"
#include "TMergeFiles.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

namespace {

// Twelve parts of different sizes and contents, one larger than a copy block.
QStringList WriteParts(const TTempFolder &dir, QByteArray *whole)
{
    QStringList parts;
    for (int i = 1; i <= 12; ++i) {
        const QByteArray bytes(i == 5 ? (3 << 19) + 7 : 1000 * i + 1, char('a' + i));
        parts.append(dir.write(QStringLiteral("big.zip%1").arg(i, 3, 10, QLatin1Char('0')), bytes));
        whole->append(bytes);
    }
    return parts;
}

} // namespace

// Catches parts joined by name instead of list order, a lost or repeated block, and a missing
// part stopping the merge.
TEST(TMergeFilesTest, JoinsExistingPartsInListOrder)
{
    TTempFolder dir;
    QByteArray whole;
    QStringList parts = WriteParts(dir, &whole);
    // Listed out of name order; the list decides.
    parts.move(11, 0);
    whole = whole.right(12001) + whole.left(whole.size() - 12001);
    parts.insert(3, dir.file("big.zip013"));
    QString error;
    ASSERT_TRUE(TMergeFiles::Merge(parts, dir.file("big.zip"), &error)) << error.toStdString();
    EXPECT_EQ(dir.read("big.zip").size(), whole.size());
    EXPECT_EQ(dir.read("big.zip"), whole);
}

// Catches a failed read or write reported as success or leaving a short file in place.
TEST(TMergeFilesTest, ErrorsAreReportedAndTheTargetIsUntouched)
{
    TTempFolder dir;
    QByteArray whole;
    const QStringList parts = WriteParts(dir, &whole);
    const QByteArray old = "an earlier merge";
    dir.write("big.zip", old);
    QString error;

    EXPECT_FALSE(TMergeFiles::Merge({parts[0], dir.path(), parts[1]}, dir.file("big.zip"), &error));
    EXPECT_TRUE(error.contains(dir.path())) << error.toStdString();
    EXPECT_EQ(dir.read("big.zip"), old);

    error.clear();
    bool merged = true;
    {
        // Runs out in the last, small part: a write that a buffer would hide until the end.
        const TFileSizeLimit limit(rlim_t(whole.size()) - 1);
        merged = TMergeFiles::Merge(parts, dir.file("big.zip"), &error);
    }
    EXPECT_FALSE(merged);
    EXPECT_TRUE(error.contains("big.zip")) << error.toStdString();
    EXPECT_EQ(dir.read("big.zip"), old);

    const QString nowhere = dir.write("plain", "a file, not a folder") + "/big.zip";
    EXPECT_FALSE(TMergeFiles::Merge(parts, nowhere, &error));
}
