#include "viewer/TCatalogueBuild.h"

#include "tests/support/TempFolder.h"
#include "viewer/TIconMaker.h"

#include <QImageWriter>

#include <gtest/gtest.h>

namespace {

// A picture of two colours side by side, so that a mirrored or turned icon shows.
QImage Halves(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(qRgb(200, 0, 0));
    for (int y = 0; y < height; ++y)
        for (int x = width / 2; x < width; ++x)
            image.setPixel(x, y, qRgb(0, 0, 200));
    return image;
}

bool Near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) < 40 && std::abs(qGreen(a) - qGreen(b)) < 40
           && std::abs(qBlue(a) - qBlue(b)) < 40;
}

} // namespace

// Catches the reduced-size decoding placing the picture elsewhere than the icon rule does: the same
// margins and halves as the full decoding, for a JPEG, and for one whose file says it is turned.
TEST(TCatalogueBuild, ReducedDecodingKeepsTheIconRule)
{
    TTempFolder temp;
    const QString wide = temp.file("wide.jpg");
    ASSERT_TRUE(Halves(2000, 1500).save(wide, "JPG", 90));
    const QImage icon = TCatalogueBuild::IconOfFile(wide);
    const QImage full = TIconMaker::MakeIcon(QImage(wide));
    ASSERT_EQ(icon.size(), QSize(64, 64));
    for (const QPoint p : {QPoint(32, 7), QPoint(32, 8), QPoint(5, 30), QPoint(60, 30), QPoint(32, 55), QPoint(32, 56)})
        EXPECT_TRUE(Near(icon.pixel(p), full.pixel(p))) << p.x() << "," << p.y();

    QImageWriter writer(temp.file("turned.jpg"), "jpeg");
    if (!writer.supportsOption(QImageIOHandler::ImageTransformation))
        GTEST_SKIP() << "this JPEG writer cannot mark a picture turned";
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(Halves(400, 100)));
    const QImage turned = TCatalogueBuild::IconOfFile(temp.file("turned.jpg"));
    EXPECT_EQ(turned.pixel(10, 32), QColor(Qt::white).rgb()) << "shown 100 by 400: margins left and right";
    EXPECT_TRUE(Near(turned.pixel(32, 10), qRgb(200, 0, 0)));
    EXPECT_TRUE(Near(turned.pixel(32, 54), qRgb(0, 0, 200)));
}

// Catches files out of order, a missing or undecodable file given an icon, and captions that are
// not the files' paths.
TEST(TCatalogueBuild, BuildKeepsTheFilesThatDecodeInOrder)
{
    TTempFolder temp;
    ASSERT_TRUE(Halves(30, 20).save(temp.file("b.png")));
    ASSERT_TRUE(Halves(20, 30).save(temp.file("a.bmp")));
    temp.write("broken.jpg", "not a picture");
    temp.write("text.txt", "no picture format");
    TIconList icons;
    QStringList captions;
    TCatalogueBuild::Build({temp.file("b.png"), temp.file("missing.png"), temp.file("broken.jpg"),
                            temp.file("text.txt"), temp.file("a.bmp")},
                           icons, captions);
    EXPECT_EQ(captions, (QStringList{temp.file("b.png"), temp.file("a.bmp")}));
    ASSERT_EQ(icons.Count(), 2);
    EXPECT_EQ(icons.Image(1).pixel(5, 32), QColor(Qt::white).rgb()) << "the tall picture is centred";
}
