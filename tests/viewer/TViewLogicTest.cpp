#include "viewer/TViewLogic.h"

#include "tests/support/TempFolder.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace TViewLogic;

// Fitted to the width when the height then fits, else to the height; centred; divisions truncate.
TEST(TViewLogic, FitRectFitsAndCentres)
{
    EXPECT_EQ(FitRect({400, 100}, {200, 200}), QRect(QPoint(0, 75), QPoint(199, 124))) << "(0,75)-(200,125)";
    EXPECT_EQ(FitRect({100, 400}, {200, 200}), QRect(QPoint(75, 0), QPoint(124, 199))) << "(75,0)-(125,200)";
    EXPECT_EQ(FitRect({3, 2}, {10, 10}), QRect(0, 2, 10, 6)) << "a = 20 div 3 = 6, top = 4 div 2";
    EXPECT_EQ(FitRect({2, 3}, {10, 7}), QRect(3, 0, 4, 7)) << "c = 14 div 3 = 4, left = 6 div 2";
    EXPECT_EQ(FitRect({50, 50}, {50, 50}), QRect(0, 0, 50, 50)) << "actual size fills the surface exactly";
    EXPECT_TRUE(FitRect({0, 10}, {200, 200}).isNull());
    EXPECT_TRUE(FitRect({10, 0}, {200, 200}).isNull());
    // Products past 2^31 must not wrap into a nonsense rectangle.
    EXPECT_EQ(FitRect({60000, 60000}, {40000, 30000}), QRect(5000, 0, 30000, 30000));
}

// Previous/next at both ends, with nothing selected, and with several rows selected.
TEST(TViewLogic, StepsPickTargetAndDeselectedRow)
{
    EXPECT_FALSE(PreviousStep(0, -1));
    EXPECT_FALSE(NextStep(0, -1));

    auto check = [](std::optional<TStep> step, int target, int deselect) {
        ASSERT_TRUE(step);
        EXPECT_EQ(step->Target, target);
        EXPECT_EQ(step->Deselect, deselect);
    };
    check(PreviousStep(5, 3), 2, 3);
    check(PreviousStep(5, 0), 0, 0);  // the first row keeps showing
    check(PreviousStep(5, -1), 0, 0); // nothing selected: the first row
    check(NextStep(5, 2), 3, 2);      // rows 2 and 5 selected: row 3, row 5 untouched
    check(NextStep(5, 4), 4, 4);      // the last row keeps showing
    check(NextStep(5, -1), 0, 0);
    check(NextStep(1, 0), 0, 0);
}

// A right-button scroll applies only inside 0..maximum, both ends included.
TEST(TViewLogic, ScrollStaysInRange)
{
    EXPECT_EQ(ScrollTo(10, 5, 100), 15);
    EXPECT_EQ(ScrollTo(10, -10, 100), 0);
    EXPECT_EQ(ScrollTo(95, 5, 100), 100);
    EXPECT_EQ(ScrollTo(10, -11, 100), 10) << "past the top: unchanged, not clamped";
    EXPECT_EQ(ScrollTo(95, 6, 100), 95) << "past the end: unchanged";
    EXPECT_EQ(ScrollTo(0, 1, 0), 0) << "no range, no scrolling";
}

TEST(TViewLogic, DragStartsAtTenPixels)
{
    const QPoint origin(100, 100);
    EXPECT_FALSE(IsDragStart(origin, {109, 109}));
    EXPECT_FALSE(IsDragStart(origin, {91, 91}));
    EXPECT_TRUE(IsDragStart(origin, {110, 100}));
    EXPECT_TRUE(IsDragStart(origin, {100, 90}));
}

TEST(TViewLogic, CatalogueFilesByTheirLastFourCharacters)
{
    EXPECT_TRUE(IsCatalogueFile("/home/u/a.pel"));
    EXPECT_TRUE(IsCatalogueFile("A.PEL"));
    EXPECT_TRUE(IsCatalogueFile(".Pel"));
    EXPECT_FALSE(IsCatalogueFile("a.pelx"));
    EXPECT_FALSE(IsCatalogueFile("apel"));
    EXPECT_FALSE(IsCatalogueFile(""));
}

TEST(TViewLogic, CentredTopLeftTruncates)
{
    EXPECT_EQ(CentredTopLeft({487, 481}, {64, 64}), QPoint(211, 208));
    EXPECT_EQ(CentredTopLeft({50, 50}, {64, 64}), QPoint(-7, -7)) << "a window smaller than the icon";
}

// The companion program is used only when it is there and can be run; else the download folder.
TEST(TViewLogic, FileManagerTargetPrefersTheCompanionProgram)
{
    TTempFolder temp;
    EXPECT_EQ(FileManagerTarget(temp.path()).Path, temp.path() + "/tmp");
    EXPECT_FALSE(FileManagerTarget(temp.path()).IsProgram);

    const QString program = temp.write("Kestrum", "#!/bin/sh\n");
    EXPECT_FALSE(FileManagerTarget(temp.path()).IsProgram) << "not executable";
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(FileManagerTarget(temp.path()).IsProgram);
    EXPECT_EQ(FileManagerTarget(temp.path()).Path, program);
}
