#include "viewer/TIconMaker.h"

#include <gtest/gtest.h>

// The icon rectangle keeps the picture's aspect and centres it; integer division decides the edges.
TEST(TIconMaker, IconRectFitsAndCentres)
{
    EXPECT_EQ(TIconMaker::IconRect({65, 130}), QRect(QPoint(16, 0), QPoint(47, 63))); // (16,0)-(48,64)
    EXPECT_EQ(TIconMaker::IconRect({400, 100}), QRect(0, 24, 64, 16));
    EXPECT_EQ(TIconMaker::IconRect({10, 10}), QRect(0, 0, 64, 64)) << "a square fills the icon";
    EXPECT_TRUE(TIconMaker::IconRect({0, 10}).isNull());
}

// A picture too flat for one pixel row still yields an icon (blank); an empty picture yields none.
TEST(TIconMaker, MakeIconOfDegeneratePictures)
{
    QImage flat(1000, 10, QImage::Format_RGB32);
    flat.fill(Qt::red);
    const QImage icon = TIconMaker::MakeIcon(flat);
    ASSERT_EQ(icon.size(), QSize(64, 64));
    EXPECT_EQ(icon.pixel(32, 32), QColor(Qt::white).rgb());
    EXPECT_TRUE(TIconMaker::MakeIcon(QImage()).isNull());

    QImage tall(20, 80, QImage::Format_RGB32);
    tall.fill(Qt::blue);
    const QImage tallIcon = TIconMaker::MakeIcon(tall);
    EXPECT_EQ(tallIcon.pixel(32, 32), QColor(Qt::blue).rgb());
    EXPECT_EQ(tallIcon.pixel(2, 32), QColor(Qt::white).rgb()) << "the margin stays blank";
}
