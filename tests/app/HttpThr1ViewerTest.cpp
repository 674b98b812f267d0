#include "download/LocalFileName.h"
#include "resources/TNotice.h"
#include "tests/support/MainWindowFixture.h"
#include "viewer/FormView1.h"
#include "viewer/FormViewIcons.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QtTest/QTest>

namespace {

class HttpThr1ViewerTest : public MainWindowFixture
{
protected:
    // A job whose downloaded file is a small picture, in the file the list gives its row.
    QString AddPictureJob(const QString &url, QColor colour = Qt::magenta)
    {
        const int row = form->Jobs.AddJob(url, 0, 0, {});
        const QString path = form->Jobs.LocalFile(row, form->ProgramFolder, form->Settings.LongFileNames(), false);
        QDir().mkpath(QFileInfo(path).path());
        QImage image(16, 12, QImage::Format_RGB32);
        image.fill(colour);
        EXPECT_TRUE(image.save(path, "PNG"));
        return path;
    }

    void ClickRow(int row)
    {
        const QRect cell = form->ListViewMon->visualRect(form->Jobs.index(row, 1));
        QTest::mouseClick(form->ListViewMon->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }
};

} // namespace

// The picture button shows the viewer; then a click in the list shows that job's file.
TEST_F(HttpThr1ViewerTest, ListClickShowsTheJobInTheVisibleViewer)
{
    const QString first = AddPictureJob("http://h/a.png");
    const QString second = AddPictureJob("http://h/b.png");
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    ClickRow(1);
    EXPECT_TRUE(form->FormView->CurrentFile().isEmpty()) << "a hidden viewer shows nothing";

    ASSERT_TRUE(form->ToolButton6->isEnabled());
    form->ToolButton6->click();
    EXPECT_TRUE(form->FormView->isVisible());
    ClickRow(0);
    EXPECT_EQ(form->FormView->CurrentFile(), first);
    ClickRow(1);
    EXPECT_EQ(form->FormView->CurrentFile(), second);

    // The viewer's step buttons move the list's selection.
    form->FormView->SpeedButtonBfClick();
    EXPECT_EQ(form->SelectedRows(), QList<int>{0});
    EXPECT_EQ(form->FormView->CurrentFile(), first);
}

// Catches the viewer looking a job's file up by another rule than the worker's: a job whose URL
// ends in "/", whose name is too long for one file name, or whose name an earlier row holds, was
// saved but never shown or thumbnailed, or the earlier row's picture was shown in its place.
TEST_F(HttpThr1ViewerTest, FilesNamedByTheFallbackAreShownAndThumbnailed)
{
    const QString folderJob = AddPictureJob("http://h/pics/");
    const QString longJob = AddPictureJob("http://h/" + QString(150, 'd') + "/" + QString(150, 'e') + "/pic.jpg");
    EXPECT_TRUE(longJob.endsWith(".jpg")) << longJob.toStdString();
    const QString twinJob = AddPictureJob("http://h/pics_", Qt::cyan);
    ASSERT_TRUE(LocalFileName::For(form->ProgramFolder, "http://h/pics_", true) == folderJob) << "the two names meet";
    EXPECT_NE(twinJob, folderJob);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->ToolButton6->click();
    ClickRow(0);
    EXPECT_EQ(form->FormView->CurrentFile(), folderJob);
    ClickRow(1);
    EXPECT_EQ(form->FormView->CurrentFile(), longJob);
    ClickRow(2);
    EXPECT_EQ(form->FormView->CurrentFile(), twinJob);

    form->FormView->SpeedButtonIconsClick();
    EXPECT_EQ(form->FormView->FormIcons->EntryCount(), 3);
    for (const QString &file : {folderJob, longJob, twinJob})
        EXPECT_TRUE(form->FormView->FormIcons->HasEntry(file)) << file.toStdString();
}

// A finished download replaces the shown picture while the viewer is visible, and only then.
TEST_F(HttpThr1ViewerTest, FinishedDownloadShowsInTheVisibleViewer)
{
    const QString file = AddPictureJob("http://h/c.png");
    emit form->Scheduler.FileCompleted(file);
    EXPECT_TRUE(form->FormView->CurrentFile().isEmpty());

    form->FormView->show();
    emit form->Scheduler.FileCompleted(file);
    EXPECT_EQ(form->FormView->CurrentFile(), file);
    EXPECT_EQ(form->FormView->windowTitle(), file);
}

// The monitor's progress reaches the bars only while the viewer is visible.
TEST_F(HttpThr1ViewerTest, MonitorSetsTheBarsOfTheVisibleViewer)
{
    form->Jobs.AddJob("http://h/a.png", 0, 0, {});
    form->Jobs.AddJob("http://h/b.png", 0, 0, {});
    form->Jobs.AddJob("http://h/c.png", 0, 0, {});
    form->Jobs.SetCell(0, SubMessage, "Cancel");
    form->Scheduler.MonitorJobs();
    EXPECT_EQ(form->FormView->PBar[0]->value(), 0) << "hidden: untouched";

    form->FormView->show();
    form->Scheduler.MonitorJobs();
    EXPECT_EQ(form->FormView->PBar[0]->value(), 33) << "one of three rows neither running nor pending";
}

// The catalogue's caption is the main window's list file name.
TEST_F(HttpThr1ViewerTest, CatalogueCaptionIsTheListFileName)
{
    form->SetListFileName("/somewhere/week.wst");
    form->FormView->SpeedButtonIconsClick();
    EXPECT_EQ(form->FormView->FormIcons->windowTitle(), "/somewhere/week.wst");
    EXPECT_EQ(form->FormView->FormIcons->ListFileName(), "/somewhere/week.wst");
}

// The viewer and the catalogue, windows of their own, carry the program's icon, and so do their
// message boxes; the catalogue keeps its own caption while no list file is named.
TEST_F(HttpThr1ViewerTest, ViewerAndCatalogueCarryTheProgramIcon)
{
    ASSERT_TRUE(QApplication::windowIcon().isNull()) << "no icon to fall back on";
    TFormView *view = form->FormView;
    TFormIcons *icons = view->FormIcons;
    EXPECT_EQ(view->parentWidget(), nullptr);
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_FALSE(view->windowIcon().isNull());
    EXPECT_FALSE(icons->windowIcon().isNull());
    for (QWidget *window : {static_cast<QWidget *>(view), static_cast<QWidget *>(icons)}) {
        TNotice::Show(window, QMessageBox::Warning, QStringLiteral("notice"));
        auto *box = window->findChild<QMessageBox *>();
        ASSERT_NE(box, nullptr);
        EXPECT_FALSE(box->windowIcon().isNull()) << qPrintable(window->windowTitle());
        delete box;
    }

    view->SpeedButtonIconsClick();
    EXPECT_EQ(icons->windowTitle(), "Icons") << "not the program's name";
}

// The viewer and the catalogue are windows of their own that do not keep the program running.
TEST_F(HttpThr1ViewerTest, ClosingTheMainWindowEndsTheProgramWithTheViewerOpen)
{
    form->show();
    form->FormView->show();
    form->FormView->FormIcons->show();
    EXPECT_FALSE(form->FormView->parentWidget());
    // The last-window rule works only inside the application's own event loop.
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    QTimer::singleShot(0, form.get(), [this] { form->close(); });
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, qApp, &QCoreApplication::quit);
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, &giveUp, &QCoreApplication::quit);
    giveUp.start(10000);
    QApplication::exec();
    EXPECT_EQ(lastClosed.count(), 1);
}
