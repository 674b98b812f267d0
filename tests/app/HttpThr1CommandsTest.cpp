#include "app/TStatusPanel.h"
#include "core/TUrlEntry.h"
#include "maker/FormHome1.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/ScriptedServer.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTreeView>
#include <QtTest/QTest>

namespace {

class HttpThr1CommandsTest : public MainWindowFixture
{
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        QDir(temp.path()).mkdir("tmp");
        form->Confirm = [this](const QString &text, const QString &caption) {
            questions.append(caption + ": " + text);
            return answer;
        };
        form->ChooseSaveFile = [this](const QString &, const QString &name, const QString &, QString *filter) {
            suggested = name;
            if (filter && !chosenFilter.isEmpty())
                *filter = chosenFilter;
            return chosenName;
        };
    }

    void AddRows(int count)
    {
        for (int i = 0; i < count; ++i)
            form->Jobs.AddJob(QStringLiteral("http://h/p%1.jpg").arg(i), 0, 0, {});
    }

    void Select(const QList<int> &rows)
    {
        form->ListViewMon->clearSelection();
        for (const int row : rows)
            form->ListViewMon->selectionModel()->select(form->Jobs.index(row, 0),
                                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    // The whole message: the panel itself may show it cut.
    QString Status() const { return form->StatusPanels[2]->Message(); }

    QStringList questions;
    bool answer = true;
    QString suggested;
    QString chosenName;
    QString chosenFilter;
};

} // namespace

// Moving refuses next to a running row with its message and leaves nothing selected; otherwise
// only the top-most selected row moves and stays selected. A saved digit caption is not a worker.
TEST_F(HttpThr1CommandsTest, MoveUpRespectsRunningRows)
{
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 90000\r\n\r\n"), TScriptedServer::Pause()});
    form->Jobs.AddJob(server.Url("/held.bin"), 0, 0, {});
    AddRows(3);
    for (int row = 1; row < 4; ++row)
        form->Jobs.SetCell(row, SubMessage, "Cancel");
    form->Jobs.SetCaption(2, "3");
    form->Settings.Interval = 20;
    form->TButtonGetClick();
    ASSERT_TRUE(WaitForEvents([&] { return form->Scheduler.IsRunningRow(0) && server.Paused(); }));
    Select({1});
    form->ToolButtonUpClick();
    EXPECT_EQ(Status(), "取得中項目は移動できません。");
    EXPECT_EQ(form->Jobs.Cell(1, SubURL), "http://h/p0.jpg");
    EXPECT_TRUE(form->SelectedRows().isEmpty());

    Select({3, 2});
    form->ToolButtonUpClick();
    EXPECT_EQ(Status(), "項目を移動しました。");
    EXPECT_EQ(form->Jobs.Cell(1, SubURL), "http://h/p1.jpg");
    EXPECT_EQ(form->SelectedRows(), QList<int>{1});
}

// Sorting is refused while the timer is on, even with no row running.
TEST_F(HttpThr1CommandsTest, SortRefusedWhileFetching)
{
    form->Jobs.AddJob("http://h/b.jpg", 0, 0, {});
    form->Jobs.AddJob("http://h/a.jpg", 0, 0, {});
    form->Settings.Interval = 60000;
    form->TButtonGetClick();
    form->ListViewMonColumnClick(1);
    EXPECT_EQ(Status(), "取得中はソートできません。");
    // The last panel takes the rest of the bar: the message is read whole.
    form->show();
    EXPECT_EQ(form->StatusPanels[2]->text(), "取得中はソートできません。");
    EXPECT_EQ(form->Jobs.Cell(0, SubURL), "http://h/b.jpg");
    form->Scheduler.TButtonStopClick();
    form->ListViewMonColumnClick(2);
    EXPECT_EQ(form->Jobs.Cell(0, SubURL), "http://h/b.jpg") << "only the URL column sorts";
    form->ListViewMonColumnClick(1);
    EXPECT_EQ(Status(), "項目をＵＲＬでソートしました。");
    EXPECT_EQ(form->Jobs.Cell(0, SubURL), "http://h/a.jpg");
    EXPECT_FALSE(form->PopOpen->isEnabled()) << "opening files stays off once fetching was on";
}

// The Delete key in the list deletes the selected rows, as the bin button does.
TEST_F(HttpThr1CommandsTest, DeleteKeyDeletesSelectedRows)
{
    AddRows(4);
    Select({1, 3});
    QTest::keyClick(form->ListViewMon, Qt::Key_Delete);
    ASSERT_EQ(form->Jobs.RowCount(), 2);
    EXPECT_EQ(form->Jobs.Cell(0, SubURL), "http://h/p0.jpg");
    EXPECT_EQ(form->Jobs.Cell(1, SubURL), "http://h/p2.jpg");
    QTest::keyClick(form->ListViewMon, Qt::Key_Delete);
    EXPECT_EQ(form->Jobs.RowCount(), 2) << "nothing selected, nothing deleted";
}

// Deleting the files of five rows asks once, naming the first file, then deletes all five;
// Cancel deletes nothing.
TEST_F(HttpThr1CommandsTest, DeleteFilesAsksOnce)
{
    AddRows(5);
    for (int i = 0; i < 5; ++i)
        temp.write(QStringLiteral("tmp/hh_p%1.jpg").arg(i), "data");
    Select({0, 1, 2, 3, 4});
    answer = false;
    form->PopFileDeleteClick();
    EXPECT_EQ(questions.size(), 1);
    EXPECT_TRUE(QFile::exists(temp.file("tmp/hh_p0.jpg")));
    answer = true;
    form->PopFileDeleteClick();
    ASSERT_EQ(questions.size(), 2);
    EXPECT_EQ(questions[1], "削除の確認: " + temp.path() + "/tmp/hh_p0.jpg 以下全て削除します。");
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(QFile::exists(temp.file(QStringLiteral("tmp/hh_p%1.jpg").arg(i))));
    EXPECT_EQ(Status(), "削除完了");
    EXPECT_EQ(form->Jobs.RowCount(), 5) << "the rows stay";
}

// Saving as list.dat with the list filter writes list.WST, asks before overwriting, and names the title.
TEST_F(HttpThr1CommandsTest, SaveTakesTheFilterExtension)
{
    AddRows(2);
    chosenName = temp.file("list.dat");
    form->TButtonSaveClick();
    EXPECT_TRUE(QFile::exists(temp.file("list.WST")));
    EXPECT_EQ(form->windowTitle(), "ソラリト [" + temp.file("list.WST") + "]");
    EXPECT_TRUE(questions.isEmpty());

    answer = false;
    form->Jobs.AddJob("http://h/new.jpg", 0, 0, {});
    form->TButtonSaveClick();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_EQ(questions[0], "上書きの確認: " + temp.file("list.WST") + " は存在します。上書きしますか？");
    EXPECT_EQ(temp.read("list.WST").count("\r\n"), 2) << "Cancel keeps the old file";
    EXPECT_EQ(suggested, temp.file("list")) << "the dialog is preset without the extension";
}

// The list is kept between runs; dropped files become local jobs or load as lists.
TEST_F(HttpThr1CommandsTest, ListKeptBetweenRunsAndDroppedFiles)
{
    AddRows(3);
    form->Jobs.SetCaption(1, "4");
    form->show();
    form->close();
    TStartOptions options;
    options.iniFile = temp.file("pelmor.ini");
    options.folder = temp.path();
    TFormMain next(options);
    ASSERT_EQ(next.Jobs.RowCount(), 3);
    EXPECT_EQ(next.Jobs.Caption(1), "※") << "a running row is saved as not running";

    next.DropFileTarget1Drop({temp.path() + "/default.wst", temp.path() + "/tmp/pic.jpg"});
    EXPECT_EQ(next.Jobs.RowCount(), 7);
    EXPECT_EQ(next.Jobs.Cell(6, SubURL), "file://tmp/pic.jpg");
    EXPECT_EQ(next.Jobs.Cell(6, SubMessage), "<FILE>");
    // A damaged list says which lines it could not read.
    next.DropFileTarget1Drop({temp.write("bad.wst", "URL=\r\nurl=http://h/ok.jpg\r\nURL=http://h/\xff.jpg\r\n")});
    EXPECT_EQ(next.Jobs.RowCount(), 8);
    EXPECT_EQ(next.StatusPanels[2]->Message(), QString::fromUtf8("2 行を読み込めませんでした（1, 3 行目）。"));
    next.Jobs.RemoveRows({7});

    // Local rows come back with the list too.
    next.show();
    next.close();
    TFormMain third(options);
    ASSERT_EQ(third.Jobs.RowCount(), 7);
    EXPECT_EQ(third.Jobs.Cell(6, SubMessage), "<FILE>");
}

// Catches a list whose "MAKE=" lines would flood the list loading some of them, the refusal going
// untold, and the refused list taken as the list's name, where a save would overwrite it.
TEST_F(HttpThr1CommandsTest, OpeningAListOfTooManyMadeUrlsIsRefused)
{
    QByteArray flood;
    for (int i = 0; i < 20; ++i)
        flood += "MAKE=http://h/" + QByteArray::number(i) + "/$.jpg,0,10000,5,1\r\n";
    const QString name = temp.write("flood.wst", flood);
    form->ChooseOpenFile = [&](const QString &, const QString &, const QString &) { return name; };
    form->TButtonOpenClick();
    EXPECT_EQ(form->Jobs.RowCount(), 0);
    auto *box = form->findChild<QMessageBox *>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().startsWith(name + ": 10 行目までの MAKE= 行で")) << box->text().toStdString();
    EXPECT_EQ(form->windowTitle(), "ソラリト [デフォルト]");
}

// New List stops every job, waits until the workers have parked, then empties the list.
TEST_F(HttpThr1CommandsTest, NewListWaitsForWorkers)
{
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 90000\r\n\r\n" + QByteArray(30000, 'x')),
                 TScriptedServer::Pause()});
    form->Jobs.AddJob(server.Url("/slow.bin"), 0, 0, {});
    form->Settings.Interval = 20;
    form->TButtonGetClick();
    ASSERT_TRUE(WaitForEvents([&] { return form->Jobs.Cell(0, SubCByte) == "30000"; }));
    form->TButtonNewListClick();
    EXPECT_EQ(form->Jobs.RowCount(), 0);
    EXPECT_FALSE(form->Scheduler.AnySlotBusy());
    EXPECT_EQ(form->windowTitle(), "ソラリト [新規]");
}

// Clipboard text starting with http:// or https:// opens the Home window with the URL; other text
// leaves it closed and says why.
TEST_F(HttpThr1CommandsTest, FromClipboardOpensHome)
{
    QApplication::clipboard()->setText("mailto:x@example.org");
    form->ToolButtonFromClipClick();
    EXPECT_FALSE(form->FormHome->isVisible());
    const auto notices = form->findChildren<QMessageBox *>();
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0]->text(), TUrlEntry::RefusalText({TUrlEntry::Refusal("mailto:x@example.org")}));
    QApplication::clipboard()->setText("HTTP://h/a$.jpg");
    form->ToolButtonFromClipClick();
    EXPECT_TRUE(form->FormHome->isVisible());
    EXPECT_EQ(form->FormHome->EditURL->text(), "HTTP://h/a$.jpg");
    QApplication::clipboard()->setText("https://h/b.jpg");
    form->ToolButtonFromClipClick();
    EXPECT_EQ(form->FormHome->EditURL->text(), "https://h/b.jpg");
}
