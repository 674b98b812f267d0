#include "download/LocalFileName.h"
#include "download/UrlUtil.h"
#include "tests/support/BatchRunner.h"
#include "tests/support/NginxServer.h"
#include "viewer/TPelFile.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

namespace {

// A picture of one colour with a little noise, big enough (over 20 KB) for the download's size rule.
QByteArray Picture(QRgb rgb, const char *format)
{
    QImage image(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int noise = (x * 7 + y * 13) % 5;
            image.setPixel(x, y, qRgb(qRed(rgb) + noise, qGreen(rgb) + noise, qBlue(rgb) + noise));
        }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 100);
    EXPECT_GT(bytes.size(), 20 * 1024);
    return bytes;
}

} // namespace

// Catches the option lost or taking no value.
TEST(TBatchCatalogue, OptionNeedsAFile)
{
    EXPECT_FALSE(TBatchOptions::Parse({"--add", "u", "--catalogue"}).error.isEmpty());
    EXPECT_EQ(TBatchOptions::Parse({"--add", "u", "--catalogue", "c.pel"}).catalogueFile, "c.pel");
}

// Catches icons out of job order, a missing or undecodable file given an icon, captions other than
// the files' paths, no file written when no job gave a picture, and a failed write ending well.
TEST(TBatchCatalogue, CataloguesTheFetchedPicturesWithNginx)
{
    TTempFolder temp;
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    nginx.WriteFile("b.png", Picture(qRgb(0, 200, 0), "PNG"));
    nginx.WriteFile("a.jpg", Picture(qRgb(200, 0, 0), "JPG"));
    nginx.WriteFile("c.jpg", QByteArray(30000, 'x'));
    const QStringList urls{nginx.Url("/b.png"), nginx.Url("/gone.jpg"), nginx.Url("/c.jpg"), nginx.Url("/a.jpg")};
    QStringList args{"--catalogue", temp.file("out.pel")};
    for (const QString &url : urls)
        args += QStringList{"--add", url};
    const TBatchResult run = RunBatch(temp, args);
    EXPECT_EQ(run.status, TBatchRun::ExitIncomplete) << "one job ended 404";
    EXPECT_TRUE(run.out.contains("Catalogue\t" + temp.file("out.pel") + "\t2 icons\n")) << run.out.toStdString();
    TIconList icons;
    QStringList captions;
    TPelFile::Load(temp.file("out.pel"), icons, captions);
    EXPECT_EQ(captions, (QStringList{LocalFileName::For(temp.path(), urls[0], true),
                                     LocalFileName::For(temp.path(), urls[3], true)}));
    ASSERT_EQ(icons.Count(), 2);
    EXPECT_GT(qGreen(icons.Image(0).pixel(32, 32)), 180);
    EXPECT_GT(qRed(icons.Image(1).pixel(32, 32)), 180);

    const TBatchResult none = RunBatch(temp, {"--catalogue", temp.file("none.pel"), "--add", urls[1]});
    TPelFile::Load(temp.file("none.pel"), icons, captions);
    EXPECT_EQ(icons.Count(), 0);
    EXPECT_TRUE(captions.isEmpty());

    const QString nowhere = temp.write("plain", "x") + "/out.pel";
    const TBatchResult unsaved = RunBatch(temp, {"--catalogue", nowhere, "--add", urls[0]});
    EXPECT_EQ(unsaved.status, TBatchRun::ExitIncomplete);
    EXPECT_TRUE(unsaved.err.contains(nowhere)) << unsaved.err.toStdString();
}

// Catches the catalogue looking a job's file up by another rule than the worker's: a job whose URL
// ends in "/" (named without an extension) or whose name is too long for one file name (a digest
// name, which keeps ".jpg") was fetched but left out.
TEST(TBatchCatalogue, FilesNamedByTheFallbackAreCataloguedWithNginx)
{
    TTempFolder temp;
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    const QString deep = QString(120, 'd') + "/" + QString(120, 'e') + "/pic.jpg";
    QDir().mkpath(nginx.Root() + "/pics");
    QDir().mkpath(QFileInfo(nginx.Root() + "/" + deep).path());
    nginx.WriteFile("pics/index.html", Picture(qRgb(0, 0, 200), "PNG"));
    nginx.WriteFile(deep, Picture(qRgb(200, 0, 0), "JPG"));
    const QStringList urls{nginx.Url("/pics/"), nginx.Url("/" + deep)};
    const TBatchResult run = RunBatch(temp, {"--catalogue", temp.file("out.pel"), "--add", urls[0], "--add", urls[1]});
    EXPECT_EQ(run.status, TBatchRun::ExitComplete) << run.err.toStdString();
    TIconList icons;
    QStringList captions;
    TPelFile::Load(temp.file("out.pel"), icons, captions);
    const QStringList files{LocalFileName::For(temp.path(), urls[0], true),
                            LocalFileName::For(temp.path(), urls[1], true)};
    EXPECT_EQ(captions, files);
    EXPECT_TRUE(files[1].endsWith(".jpg")) << files[1].toStdString();
    EXPECT_NE(files[1], UrlUtil::SetFileName(temp.path(), urls[1])) << "the digest name is in use";
    EXPECT_EQ(icons.Count(), 2);
}
