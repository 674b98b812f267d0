#include "FormOpt1.h"
#include "MainWindowFixture.h"

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

using HttpThr1Test = MainWindowFixture;

namespace {

QStringList Hints(QToolBar *bar)
{
    QStringList hints;
    for (QWidget *child : bar->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (qobject_cast<QToolButton *>(child) && !child->toolTip().isEmpty())
            hints.append(child->toolTip());
    return hints;
}

} // namespace

// The window as the user first sees it: title, version panel, list columns and toolbar hints.
TEST_F(HttpThr1Test, LooksAsDesigned)
{
    EXPECT_EQ(form->windowTitle(), "ソラリト [デフォルト]");
    EXPECT_EQ(form->StatusPanels[0]->text(), "Ver0.208a");
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);

    QHeaderView *header = form->ListViewMon->header();
    ASSERT_EQ(header->count(), 14);
    EXPECT_EQ(header->model()->headerData(8, Qt::Horizontal).toString(), "Message");
    EXPECT_EQ(header->sectionSize(0), 18);
    EXPECT_EQ(header->sectionSize(5), 5);
    EXPECT_EQ(form->ListViewMon->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(form->ListViewMon->selectionBehavior(), QAbstractItemView::SelectRows);

    const QStringList hints = Hints(form->ToolBar1);
    EXPECT_EQ(hints.size(), 18);
    EXPECT_EQ(hints.first(), "新規作成");
    EXPECT_TRUE(hints.contains("取得タイマーＯｎ"));
    EXPECT_TRUE(form->TButtonSetUp->isEnabled());
    EXPECT_TRUE(form->ToolButtonEnv->isEnabled());
    EXPECT_TRUE(form->TButtonGet->isEnabled());
    EXPECT_TRUE(form->TButtonOpen->isEnabled());
    EXPECT_TRUE(form->ToolButton6->isEnabled());
}

// First showing reads the settings file and makes tmp with its notice; closing writes the file.
TEST_F(HttpThr1Test, SettingsReadOnFirstShowWrittenOnClose)
{
    temp.write("pelmor.ini", "; kept\r\n[Data]\r\nThreads=1\r\nFileType=5\r\nMine=x\r\n"
                             "[Window]\r\nTop=40\r\nLeft=50\r\nWidth=600\r\nHeight=300\r\n");
    form->show();
    EXPECT_EQ(form->Settings.Threads, 1);
    EXPECT_EQ(form->geometry(), QRect(50, 40, 600, 300));
    EXPECT_EQ(form->ProgramFolder, QDir(temp.path()).absolutePath());
    EXPECT_TRUE(QDir(temp.file("tmp")).exists());
    auto *notice = form->findChild<QMessageBox *>();
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->text(), "tmp フォルダにファイルが保存されます。");

    form->ToolButtonEnvClick();
    form->FormOpt->close();
    form->close();
    const QByteArray written = temp.read("pelmor.ini");
    EXPECT_TRUE(written.startsWith("; kept\r\n[Data]\r\nThreads=1\r\nFileType=2\r\nMine=x\r\n")) << written.constData();
    EXPECT_TRUE(written.contains("TimeOutCTR=100\r\n"));
    EXPECT_TRUE(written.contains("[Window]\r\nTop=40\r\nLeft=50\r\nWidth=600\r\nHeight=300\r\n"));
}

// Widened columns are kept with the window bounds.
TEST_F(HttpThr1Test, ColumnWidthsKeptWithTheBounds)
{
    temp.write("pelmor.ini", "[Window]\r\nTop=40\r\nLeft=50\r\nWidth=600\r\nHeight=300\r\nColumns=20,250\r\n");
    QDir(temp.path()).mkdir("tmp");
    form->show();
    QHeaderView *header = form->ListViewMon->header();
    EXPECT_EQ(header->sectionSize(0), 20);
    EXPECT_EQ(header->sectionSize(1), 250);
    EXPECT_EQ(header->sectionSize(2), 50) << "a column the file does not name keeps its width";
    EXPECT_EQ(header->sectionResizeMode(8), QHeaderView::Interactive);

    header->resizeSection(8, 300);
    form->close();
    EXPECT_TRUE(temp.read("pelmor.ini").contains("Columns=20,250,50,50,50,5,5,30,300,5,30,50,50,35\r\n"));
}

// A second showing does not read the file again, and an existing tmp folder brings no notice.
TEST_F(HttpThr1Test, LaterShowingsKeepSettings)
{
    QDir(temp.path()).mkdir("tmp");
    form->show();
    EXPECT_EQ(form->findChild<QMessageBox *>(), nullptr);
    form->Settings.TimeOutCTR = 33;
    form->hide();
    form->show();
    EXPECT_EQ(form->Settings.TimeOutCTR, 33);
}

// Slot squares: black, dark green, red; an unknown state keeps the previous colour.
TEST_F(HttpThr1Test, SlotStatesPaintTheirSquares)
{
    auto colourOf = [&](int slot) { return form->Image1->pixmap().toImage().pixelColor(10 * slot + 5, 10); };
    EXPECT_EQ(colourOf(0), QColor(Qt::black));
    form->Scheduler.SetSlotState(0, 1);
    form->Scheduler.SetSlotState(1, 2);
    EXPECT_EQ(colourOf(0), QColor(0, 128, 0));
    EXPECT_EQ(colourOf(1), QColor(255, 0, 0));
    form->Scheduler.SetSlotState(1, 7);
    EXPECT_EQ(colourOf(1), QColor(255, 0, 0));
    EXPECT_EQ(form->Scheduler.SlotState(1), 7);
}
