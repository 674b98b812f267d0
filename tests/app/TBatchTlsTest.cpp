#include "download/LocalFileName.h"
#include "tests/support/BatchRunner.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TestBytes.h"
#include "tests/support/TestCertificates.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {
TBatchResult RunTrusting(const TTempFolder &temp, const TTestCertificates &certs, const QStringList &args)
{
    temp.write("tls.ini", "[Data]\r\nCAFile=" + certs.CaFile().toUtf8() + "\r\n");
    const TBatchOptions options = TBatchOptions::Parse(
        QStringList{"--ini", temp.file("tls.ini"), "--folder", temp.path(), "--interval", "20", "--max-tries", "3"}
        + args);
    std::FILE *out = std::tmpfile(), *err = std::tmpfile();
    const int status = TBatchRun(options, out, err, false).Run();
    return {status, ReadBack(out), ReadBack(err)};
}

} // namespace

// Catches https jobs that do not arrive whole (as one file or as twelve ranges over TLS merged), the
// settings' trust anchor not reaching the workers, and a refused certificate retried, left as a
// file, or ended with a text that does not say why.
TEST(TBatchTlsTest, FetchesAndSplitsOverHttpsAndEndsForGoodOnABadCertificateWithNginx)
{
    TTestCertificates certs;
    ASSERT_TRUE(certs.Make()) << certs.Error().toStdString();
    TNginxServer good, other;
    good.UseTls(certs.Good().Cert, certs.Good().Key);
    other.UseTls(certs.OtherName().Cert, certs.OtherName().Key);
    ASSERT_TRUE(good.Start()) << good.Error().toStdString();
    ASSERT_TRUE(other.Start()) << other.Error().toStdString();
    const QByteArray data = Pattern(200000);
    good.WriteFile("a.jpg", data);
    other.WriteFile("a.jpg", data);
    TTempFolder temp;

    const QString url = good.Url("/a.jpg");
    const TBatchResult one = RunTrusting(temp, certs, {"--add", url});
    EXPECT_EQ(one.status, TBatchRun::ExitComplete) << one.err.toStdString();
    EXPECT_EQ(one.out, "End>Completed!\t" + url + "\n");
    EXPECT_TRUE(ReadFileOrMissing(LocalFileName::For(temp.path(), url, true)) == data);

    TTempFolder parts;
    const TBatchResult split = RunTrusting(parts, certs, {"--threads", "9", "--split", url});
    EXPECT_EQ(split.status, TBatchRun::ExitComplete) << split.err.toStdString();
    EXPECT_TRUE(ReadFileOrMissing(LocalFileName::For(parts.path(), url, true)) == data);

    TTempFolder refusedFolder;
    const QString wrong = other.Url("/a.jpg");
    const TBatchResult refused = RunTrusting(refusedFolder, certs, {"--add", wrong});
    EXPECT_EQ(refused.status, TBatchRun::ExitIncomplete);
    EXPECT_EQ(refused.out, "Abort>TLS certificate refused: wrong name\t" + wrong + "\n");
    EXPECT_EQ(QDir(refusedFolder.path() + "/tmp").entryList(QDir::Files), QStringList());
}
