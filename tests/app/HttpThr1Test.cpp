#include "app/FormOpt1.h"
#include "app/TStatusPanel.h"
#include "core/TTmpLock.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/ScriptedServer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
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
    EXPECT_LE(header->sectionSize(5), 10) << "CTime is nearly hidden";
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
    QHeaderView *header = form->ListViewMon->header();
    const int fitted = header->sectionSize(2);
    form->show();
    EXPECT_EQ(header->sectionSize(0), 20);
    EXPECT_EQ(header->sectionSize(1), 250);
    EXPECT_EQ(header->sectionSize(2), fitted) << "a column the file does not name keeps its width";
    EXPECT_EQ(header->sectionResizeMode(8), QHeaderView::Interactive);

    header->resizeSection(8, 300);
    QStringList widths;
    for (int column = 0; column < header->count(); ++column)
        widths.append(QString::number(header->sectionSize(column)));
    form->close();
    EXPECT_TRUE(widths.join(',').startsWith("20,250,"));
    EXPECT_TRUE(temp.read("pelmor.ini").contains("Columns=" + widths.join(',').toLatin1() + "\r\n"));
}

// The unscaled design widths that earlier versions saved on every close give way to the fitted ones,
// or every user who ran an earlier version would keep cut byte counts.
TEST_F(HttpThr1Test, OldDesignWidthsGiveWayToFittedOnes)
{
    temp.write("pelmor.ini", "[Window]\r\nColumns=18,200,50,50,50,5,5,30,100,5,30,50,50,35\r\n");
    QDir(temp.path()).mkdir("tmp");
    QHeaderView *header = form->ListViewMon->header();
    QList<int> fitted;
    for (int column = 0; column < header->count(); ++column)
        fitted.append(header->sectionSize(column));
    form->show();
    for (int column = 0; column < header->count(); ++column)
        EXPECT_EQ(header->sectionSize(column), fitted[column]) << "column " << column;
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

// Catches the window fetching into a tmp that a batch run holds: it says so and saves nothing at its end.
TEST_F(HttpThr1Test, FolderHeldByAnotherRunIsRefused)
{
    QDir(temp.path()).mkdir("tmp");
    TTmpLock batch;
    ASSERT_TRUE(batch.Take(temp.path()));
    QString shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    poll.start(10);
    form->show();
    EXPECT_TRUE(form->FolderRefused);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("別の pelmor (プロセス %1) が tmp フォルダを使っています。")
                                     .arg(QCoreApplication::applicationPid())))
        << shown.toStdString();
    form->close();
    EXPECT_FALSE(QFileInfo::exists(temp.file("pelmor.ini")));
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

// By default, in the font in use, a byte column holds a 10-digit count and Message holds
// "End>Completed!" whole: a cut number would be a wrong number.
TEST_F(HttpThr1Test, DefaultColumnsHoldTheirUsualText)
{
    QDir(temp.path()).mkdir("tmp");
    form->show();
    const int row = form->Jobs.AddJob("http://h/big.iso", 1090519040, 2181038080, "002");
    for (const int sub : {SubCByte, SubTByte})
        form->Jobs.SetCell(row, sub, "2181038079");
    form->Jobs.SetCell(row, SubPercent, "100.00");
    form->Jobs.SetCell(row, SubMessage, "End>Completed!");

    QTreeView *list = form->ListViewMon;
    const QFontMetrics metrics(list->font());
    const int margins = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
    for (const int sub : {SubCByte, SubTByte, SubPercent, SubMessage, SubSBytes, SubEBytes}) {
        const QString text = form->Jobs.Cell(row, sub);
        const int width = list->header()->sectionSize(1 + sub);
        EXPECT_GE(width, metrics.horizontalAdvance(text) + margins) << qPrintable(text);
        // What the view itself asks for the cell, margins and all.
        EXPECT_GE(width, static_cast<QAbstractItemView *>(list)->sizeHintForColumn(1 + sub)) << qPrintable(text);
    }
}

// The last status panel takes the rest of the bar, so a long result is read whole; one longer
// than the bar ends in "…" with the whole text as tool tip, and comes back whole when there is room.
TEST_F(HttpThr1Test, LastStatusPanelTakesTheRestOfTheBar)
{
    QDir(temp.path()).mkdir("tmp");
    form->show();
    TStatusPanel *last = form->StatusPanels[2];
    QStatusBar *bar = form->statusBar();
    EXPECT_GE(last->geometry().right(), bar->contentsRect().right() - 6);
    const QString result = QStringLiteral("8 行を読み込めませんでした（1, 2, 3, 4, 5, 6, 7, 8 行目）。");
    last->SetMessage(result);
    EXPECT_EQ(last->text(), result);
    EXPECT_TRUE(last->toolTip().isEmpty());

    const int before = last->width();
    form->resize(form->width() + 200, form->height());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(last->width(), before + 200);

    const QString longer = result.repeated(4);
    const int wide = form->width();
    last->SetMessage(longer);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(last->text().endsWith(QChar(0x2026)));
    EXPECT_LE(last->fontMetrics().horizontalAdvance(last->text()), last->contentsRect().width());
    EXPECT_EQ(last->toolTip(), longer);
    EXPECT_EQ(form->width(), wide) << "a long message does not widen the window";
    EXPECT_LT(form->minimumSizeHint().width(), wide);
    form->resize(form->fontMetrics().horizontalAdvance(longer) + 600, form->height());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(last->text(), longer);
    EXPECT_TRUE(last->toolTip().isEmpty());
}

// The tray takes turns between its pictures while fetching is on and shows the idle one once
// fetching ends, however many ticks there were.
TEST_F(HttpThr1Test, TrayBackToIdlePictureWhenFetchingEnds)
{
    bool sawBusy = false;
    bool ended = false;
    QObject::connect(&form->Scheduler, &TScheduler::Ticked, form.get(),
                     [&] { sawBusy |= form->TrayShowsBusyPicture(); });
    QObject::connect(&form->Scheduler, &TScheduler::FetchingChanged, form.get(), [&](bool on) { ended = !on; });
    form->Jobs.AddJob("http://h/skipped.jpg", 0, 0, {});
    form->Jobs.SetCell(0, SubMessage, "Cancel");
    form->Settings.Interval = 10;
    form->TButtonGetClick();
    ASSERT_TRUE(WaitForEvents([&] { return ended; }));
    EXPECT_TRUE(sawBusy);
    EXPECT_FALSE(form->TrayShowsBusyPicture());

    // Stopped by hand after a tick that left the busy picture.
    form->Settings.Interval = 60000;
    form->TButtonGetClick();
    emit form->Scheduler.Ticked();
    EXPECT_TRUE(form->TrayShowsBusyPicture());
    form->Scheduler.TButtonStopClick();
    EXPECT_FALSE(form->TrayShowsBusyPicture());
}
