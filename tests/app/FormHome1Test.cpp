#include "maker/FormHome1.h"

#include "core/TUrlEntry.h"
#include "download/UrlUtil.h"
#include "tests/support/MainWindowFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>

using FormHome1Test = MainWindowFixture;

// The whole road: the user types a pattern, sets the numbers, presses Make and sees the rows.
TEST_F(FormHome1Test, MakeExpandsTypedPatternIntoListRows)
{
    form->show();
    form->TButtonSetUp->click();
    TFormHome *home = form->FormHome;
    ASSERT_TRUE(home->isVisible());
    home->EditURL->clear();
    QTest::keyClicks(home->EditURL, QStringLiteral("http://host.example/pic$.jpg"));
    home->UDStart->setValue(8);
    home->UDEnd->setValue(11);
    home->UDLength->setValue(3);
    home->UDStep->setValue(7);
    QTest::mouseClick(home->ToolButtonMake, Qt::LeftButton);

    const QAbstractItemModel *list = form->ListViewMon->model();
    ASSERT_EQ(list->rowCount(), 4);
    const QStringList expectedRow0{
        "(..)", "http://host.example/pic008.jpg", "-", "???", "-", ">", "-", "1.1", "Ready", "*", "0", "", "", ""};
    QStringList row0;
    for (int column = 0; column < list->columnCount(); ++column)
        row0.append(list->index(0, column).data().toString());
    EXPECT_EQ(row0, expectedRow0);
    EXPECT_EQ(list->index(3, 1).data().toString(), "http://host.example/pic011.jpg") << "Step is not consulted";

    QTest::mouseClick(home->ToolButtonMake, Qt::LeftButton);
    EXPECT_EQ(list->rowCount(), 4) << "a second Make offers only duplicates";
    QTest::mouseClick(home->ToolButtonAdd, Qt::LeftButton);
    EXPECT_EQ(list->rowCount(), 5) << "Add takes the pattern unchanged, mark included";
    EXPECT_EQ(list->index(4, 1).data().toString(), "http://host.example/pic$.jpg");
}

// The "$" label types the mark at the caret, replacing a selection, like a key stroke.
TEST_F(FormHome1Test, LabelTypesMarkAtCaret)
{
    TFormHome *home = form->FormHome;
    home->show();
    home->EditURL->setText("http://h/abXYcd.jpg");
    home->EditURL->setSelection(11, 2);
    QTest::mouseClick(home->Label1, Qt::LeftButton);
    QTRY_COMPARE(home->EditURL->text(), QStringLiteral("http://h/ab$cd.jpg"));
}

// The "＄" label is aqua, but its tool tip looks like every other tool tip, not like the label.
TEST_F(FormHome1Test, LabelToolTipLooksLikeEveryOther)
{
    const QRgb aqua = qRgb(0, 255, 255);
    auto aquaPixels = [aqua](const QImage &image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += image.pixel(x, y) == aqua ? 1 : 0;
        return count;
    };
    TFormHome *home = form->FormHome;
    home->show();
    QLabel *label = home->Label1;
    EXPECT_GT(aquaPixels(label->grab().toImage().convertToFormat(QImage::Format_RGB32)), 0);
    QToolTip::showText(label->mapToGlobal(QPoint(2, 2)), label->toolTip(), label);
    QWidget *tip = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->inherits("QTipLabel") && window->isVisible())
            tip = window;
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(aquaPixels(tip->grab().toImage().convertToFormat(QImage::Format_RGB32)), 0);
    EXPECT_NE(tip->palette().color(tip->foregroundRole()).rgb(), aqua);
    QToolTip::hideText();
}

// The texts of the notices a window shows, each closed once read.
QStringList TakeNotices(QWidget *window)
{
    QStringList texts;
    for (QMessageBox *box : window->findChildren<QMessageBox *>()) {
        texts.append(box->text());
        delete box;
    }
    return texts;
}

// Catches Clip taking text no job can be made of, or dropping it without a word; patterns and
// either scheme in any case still go into the field.
TEST_F(FormHome1Test, ClipTakesOneUrlOrSaysWhyNot)
{
    TFormHome *home = form->FormHome;
    home->show();
    home->EditURL->setText("kept");
    QApplication::clipboard()->setText("ftp://h/a.jpg");
    home->ToolButtonClipClick();
    EXPECT_EQ(home->EditURL->text(), "kept");
    EXPECT_EQ(TakeNotices(home), QStringList{TUrlEntry::RefusalText({TUrlEntry::Refusal("ftp://h/a.jpg")})});
    QApplication::clipboard()->setText("Http://h/a$.jpg\r\n");
    home->ToolButtonClipClick();
    EXPECT_EQ(home->EditURL->text(), "Http://h/a$.jpg");
    QApplication::clipboard()->setText("hTTps://h/b$.jpg");
    home->ToolButtonClipClick();
    EXPECT_EQ(home->EditURL->text(), "hTTps://h/b$.jpg");
    EXPECT_TRUE(TakeNotices(home).isEmpty());
    EXPECT_EQ(form->Jobs.RowCount(), 0) << "one URL is only put into the field";
}

// Catches Add or Clip taking a URL that can never be fetched (saved, then lost at the next start),
// a refusal without its reason, and a pasted list added as one job or stopped by its first bad line.
TEST_F(FormHome1Test, AddAndClipRefuseWhatCannotBeFetchedAndAddEachGoodLine)
{
    TFormHome *home = form->FormHome;
    home->show();
    for (const QString &bad : QStringList{"garbage", "ftp://x", "http://", "http://h:70000/", ""}) {
        home->EditURL->setText(bad);
        QTest::mouseClick(home->ToolButtonAdd, Qt::LeftButton);
        const QStringList notices = TakeNotices(home);
        ASSERT_EQ(notices.size(), 1) << bad.toStdString();
        EXPECT_TRUE(notices[0].contains(UrlUtil::FetchProblem(bad))) << notices[0].toStdString();
        EXPECT_TRUE(notices[0].contains("「" + bad + "」")) << notices[0].toStdString();

        QApplication::clipboard()->setText(bad + "  ");
        home->ToolButtonClipClick();
        EXPECT_EQ(TakeNotices(home).size(), bad.isEmpty() ? 0 : 1) << "a blank clipboard is no URL";
    }
    EXPECT_EQ(form->Jobs.RowCount(), 0);

    home->EditURL->setText("  http://h/typed.jpg ");
    QTest::mouseClick(home->ToolButtonAdd, Qt::LeftButton);
    QApplication::clipboard()->setText(
        "http://h/a.jpg\r\ngarbage\r\n\r\n  http://h/b.jpg\nhttp://h:70000/\nhttp://h/typed.jpg\n");
    home->ToolButtonClipClick();
    ASSERT_EQ(form->Jobs.RowCount(), 3);
    EXPECT_EQ(form->Jobs.Cell(0, SubURL), "http://h/typed.jpg");
    EXPECT_EQ(form->Jobs.Cell(1, SubURL), "http://h/a.jpg");
    EXPECT_EQ(form->Jobs.Cell(2, SubURL), "http://h/b.jpg");
    EXPECT_EQ(TakeNotices(home), QStringList{TUrlEntry::RefusalText(
                                     {TUrlEntry::Refusal("garbage"), TUrlEntry::Refusal("http://h:70000/")}, 2)});
    EXPECT_EQ(home->EditURL->text(), "  http://h/typed.jpg ") << "a list is not put into the field";

    // The main window's paste goes the same way.
    QApplication::clipboard()->setText("http://h/c.jpg\nhttp://h/d.jpg");
    home->hide();
    form->ToolButtonFromClipClick();
    EXPECT_TRUE(home->isVisible());
    EXPECT_EQ(form->Jobs.RowCount(), 5);
    QApplication::clipboard()->setText("garbage");
    home->hide();
    form->ToolButtonFromClipClick();
    EXPECT_FALSE(home->isVisible()) << "no URL to show it for";
    EXPECT_EQ(TakeNotices(form.get()), QStringList{TUrlEntry::RefusalText({TUrlEntry::Refusal("garbage")})});
}

// Catches Make adding the URLs of a pattern that can never be fetched without a word, or refusing
// the good ones with them.
TEST_F(FormHome1Test, MakeRefusesExpandedUrlsThatCannotBeFetched)
{
    TFormHome *home = form->FormHome;
    home->show();
    home->EditURL->setText("http://h:6553$/a.jpg");
    home->UDStart->setValue(4);
    home->UDEnd->setValue(6);
    home->UDLength->setValue(0);
    QTest::mouseClick(home->ToolButtonMake, Qt::LeftButton);
    ASSERT_EQ(form->Jobs.RowCount(), 2);
    EXPECT_EQ(form->Jobs.Cell(1, SubURL), "http://h:65535/a.jpg");
    EXPECT_EQ(TakeNotices(home), QStringList{TUrlEntry::RefusalText({TUrlEntry::Refusal("http://h:65536/a.jpg")}, 2)});
}

// Every showing starts small and loads the URL setting; closing stores the field back.
TEST_F(FormHome1Test, LayoutsAndUrlSetting)
{
    TFormHome *home = form->FormHome;
    form->Settings.URL = "http://saved.example/$.png";
    home->show();
    EXPECT_EQ(home->EditURL->text(), "http://saved.example/$.png");
    const QSize small = home->size();
    home->ToolButtonNo2Click();
    const QSize numbers = home->size();
    home->ToolButtonNo3Click();
    const QSize links = home->size();
    EXPECT_LT(small.width(), numbers.width());
    EXPECT_EQ(numbers.width(), links.width());
    EXPECT_EQ(small.height(), numbers.height());
    EXPECT_EQ(links, QSize(547, 242)) << "the link-list layout shows the whole design area";
    EXPECT_TRUE(home->windowFlags() & Qt::WindowStaysOnTopHint);

    home->EditURL->setText("http://typed.example/$.gif");
    home->close();
    EXPECT_EQ(form->Settings.URL, "http://typed.example/$.gif");
    home->show();
    EXPECT_EQ(home->size(), small);
}

// List loading hands "MAKE=" lines over: all five fields run Make, an empty one does nothing,
// and a field that is not a number is refused instead of stopping the load.
TEST_F(FormHome1Test, MakeFromRecord)
{
    TFormHome *home = form->FormHome;
    EXPECT_TRUE(home->MakeFromRecord("http://h/$.jpg", "1", "20", "3", "1"));
    EXPECT_EQ(form->Jobs.RowCount(), 20);
    EXPECT_EQ(form->Jobs.Cell(19, SubURL), "http://h/020.jpg");
    EXPECT_TRUE(home->MakeFromRecord("http://h/x$.jpg", "1", "", "3", "1"));
    EXPECT_FALSE(home->MakeFromRecord("http://h/y$.jpg", "1", "two", "3", "1"));
    EXPECT_EQ(form->Jobs.RowCount(), 20);
}
