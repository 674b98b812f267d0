#include "viewer/FormView1.h"

#include "core/THandOver.h"
#include "core/sharedmm.h"
#include "download/UrlUtil.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"
#include "viewer/FormViewIcons.h"
#include "viewer/TViewSurface.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUuid>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

QImage Picture(int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// A viewer over a job list kept here: one URL and one selection flag per row, files below a scratch folder.
class FormView1Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TViewerHost host;
        host.JobCount = [this] { return int(urls.size()); };
        host.FirstSelectedRow = [this] { return int(selected.indexOf(true)); };
        host.SetRowSelected = [this](int row, bool on) { selected[row] = on; };
        host.JobFile = [this](int row) {
            if (onUrl)
                onUrl(row);
            const QString path = UrlUtil::SetFileName(temp.path(), urls.at(row));
            return QFileInfo(path).isFile() ? path : QString();
        };
        host.ProgramFolder = [this] { return temp.path(); };
        host.ListFileName = [] { return QStringLiteral("/lists/week.wst"); };
        handOverName = "pelmor-test-" + QUuid::createUuid().toString(QUuid::Id128).left(12);
        view = std::make_unique<TFormView>(std::move(host), nullptr, handOverName);
        view->StartDrag = [this](const QStringList &files) { drags.append(files); };
    }

    // A job whose file is a picture of that size and colour; an empty colour leaves the file missing.
    QString AddJob(QSize size, QColor colour = Qt::red, const char *format = "PNG")
    {
        const QString url = QStringLiteral("http://h/p%1.%2").arg(urls.size()).arg(QString(format).toLower());
        urls.append(url);
        selected.append(false);
        const QString path = UrlUtil::SetFileName(temp.path(), url);
        if (colour.isValid()) {
            QDir().mkpath(QFileInfo(path).path());
            EXPECT_TRUE(Picture(size.width(), size.height(), colour).save(path, format));
        }
        return path;
    }

    void ShowWindow()
    {
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    void Mouse(QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QPointF local = view->ImageBig->mapFromGlobal(global);
        QMouseEvent event(type, local, local, global, button, buttons, modifiers);
        QCoreApplication::sendEvent(view->ImageBig, &event);
    }

    TTempFolder temp;
    QStringList urls;
    QList<bool> selected;
    QString handOverName;
    std::unique_ptr<TFormView> view;
    QList<QStringList> drags;
    std::function<void(int row)> onUrl; // runs as the viewer reads a row
};

QStringList Hints(QToolBar *bar)
{
    QStringList hints;
    for (QToolButton *button : bar->findChildren<QToolButton *>(QString(), Qt::FindDirectChildrenOnly))
        if (!button->toolTip().isEmpty())
            hints.append(button->toolTip());
    return hints;
}

} // namespace

TEST_F(FormView1Test, LooksAsDesigned)
{
    EXPECT_EQ(view->windowTitle(), "PreView");
    EXPECT_EQ(view->size(), QSize(487, 481));
    EXPECT_EQ(view->toolTip(), "他ソフトにドラッグドロップできます");
    EXPECT_EQ(Hints(view->ToolBar1),
              (QStringList{"前項目", "次項目", "リスト表示項目のサムネール表示", "サムネール作成処理の中止",
                           "ズーム表示", "実寸表示。右クリックドラッグでスクロールできます。", "左回転", "右回転",
                           "ファイル一覧の表示", "メインフォームを前面に移動"}));
    EXPECT_FALSE(view->SpeedButtonStop->isEnabled());
    EXPECT_TRUE(view->SpeedButtonIcons->isEnabled());
    for (size_t k = 0; k < view->PBar.size(); ++k) {
        EXPECT_EQ(view->PBar[k]->maximum(), 100);
        EXPECT_EQ(view->PBar[k]->orientation(), k == 0 ? Qt::Horizontal : Qt::Vertical);
    }
    EXPECT_FALSE(view->ImageIcon->isVisibleTo(view.get()));
    EXPECT_FALSE(view->FormIcons->isVisible());
    EXPECT_EQ(view->ImageBig->cursor().shape(), Qt::DragCopyCursor);
}

// Closing only hides: the window, its picture and its state stay for the next showing.
TEST_F(FormView1Test, CloseOnlyHides)
{
    const QString file = AddJob({30, 30});
    ShowWindow();
    view->ShowFile(file);
    view->close();
    EXPECT_FALSE(view->isVisible());
    EXPECT_EQ(view->CurrentFile(), file);
}

// Previous/next at both ends and with nothing selected; other selected rows keep their selection.
TEST_F(FormView1Test, StepsThroughJobs)
{
    QStringList files;
    for (int i = 0; i < 6; ++i)
        files.append(AddJob({20, 10 + i}));

    view->SpeedButtonNextClick();
    EXPECT_EQ(view->CurrentFile(), files[0]) << "nothing selected: the first row";
    EXPECT_EQ(selected.indexOf(true), 0);

    view->SpeedButtonBfClick();
    EXPECT_EQ(view->CurrentFile(), files[0]) << "the first row keeps showing";
    EXPECT_TRUE(selected[0]);

    selected.fill(false);
    selected[2] = selected[5] = true;
    view->SpeedButtonNextClick();
    EXPECT_EQ(view->CurrentFile(), files[3]);
    EXPECT_EQ(selected, (QList<bool>{false, false, false, true, false, true}));
    EXPECT_EQ(view->windowTitle(), files[3]);

    selected.fill(false);
    selected[5] = true;
    view->SpeedButtonNextClick();
    EXPECT_EQ(view->CurrentFile(), files[5]) << "the last row keeps showing";
    EXPECT_TRUE(selected[5]);
    view->SpeedButtonBfClick();
    EXPECT_EQ(view->CurrentFile(), files[4]);
    EXPECT_EQ(view->ImageSmall().size(), QSize(20, 14));
}

// A job whose file is missing changes nothing; a file that cannot be decoded clears the picture
// in silence and leaves the caption and current file of the last good one.
TEST_F(FormView1Test, UnreadableFilesClearThePictureSilently)
{
    const QString good = AddJob({40, 20});
    AddJob({40, 20}, QColor()); // missing
    view->ShowJob(0);
    ASSERT_FALSE(view->ImageSmall().isNull());

    view->ShowJob(1);
    EXPECT_FALSE(view->ImageSmall().isNull()) << "a missing job file is skipped";

    const QString junk = temp.write("junk.png", "not a picture at all");
    const QString unknown = temp.write("note.xyz", "text");
    for (const QString &bad : {junk, unknown, temp.file("gone.png"), QString()}) {
        view->ShowFile(good);
        view->ShowFile(bad);
        EXPECT_TRUE(view->ImageSmall().isNull()) << qPrintable(bad);
        EXPECT_EQ(view->windowTitle(), good) << qPrintable(bad);
        EXPECT_EQ(view->CurrentFile(), good) << qPrintable(bad);
    }
    for (QWidget *window : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<QMessageBox *>(window)) << "no message";
}

// Fit mode draws the picture stretched into the fitted rectangle; the stretched copy is made once
// per picture and surface size, not on every repaint.
TEST_F(FormView1Test, FitModeDrawsScaledOnce)
{
    const QString file = AddJob({400, 100}, Qt::blue);
    ShowWindow();
    view->ShowFile(file);
    const QSize surface = view->ImageBig->size();
    EXPECT_EQ(surface, view->ScrollBox1->viewport()->size()) << "the surface fills the scroll box";
    const QRect target = view->ImageBig->TargetRect();
    EXPECT_EQ(target.width(), surface.width());
    EXPECT_EQ(target.top(), (surface.height() - target.height()) / 2);

    const QImage shown = view->ImageBig->grab().toImage();
    EXPECT_EQ(shown.pixel(target.center()), QColor(Qt::blue).rgb());
    EXPECT_EQ(shown.pixel(target.center().x(), 2), QColor(Qt::white).rgb()) << "blank above the picture";
    const int scaled = view->ImageBig->ScaleCount();
    view->ImageBig->grab().toImage();
    view->ImageBig->repaint();
    EXPECT_EQ(view->ImageBig->ScaleCount(), scaled) << "repaints reuse the stretched copy";

    view->resize(view->width() + 40, view->height());
    view->ImageBig->grab().toImage();
    EXPECT_EQ(view->ImageBig->ScaleCount(), scaled + 1) << "a new size scales again";
}

// Actual size: the surface takes the picture's size and the right button scrolls it, never past
// either end; the zoom button fits it again.
TEST_F(FormView1Test, ActualSizeScrollsWithTheRightButton)
{
    const QString file = AddJob({1200, 1000}, Qt::green);
    ShowWindow();
    view->ShowFile(file);
    view->SpeedButtonJitsuClick();
    EXPECT_TRUE(view->ActualSize());
    EXPECT_EQ(view->ImageBig->size(), QSize(1200, 1000));
    QScrollBar *vertical = view->ScrollBox1->verticalScrollBar();
    QScrollBar *horizontal = view->ScrollBox1->horizontalScrollBar();
    ASSERT_GT(vertical->maximum(), 100);

    Mouse(QEvent::MouseButtonPress, {500, 500}, Qt::RightButton, Qt::RightButton);
    Mouse(QEvent::MouseMove, {470, 440}, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(vertical->value(), 60) << "moving up scrolls down by as much";
    EXPECT_EQ(horizontal->value(), 30);
    Mouse(QEvent::MouseMove, {470, 460}, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(vertical->value(), 40);
    Mouse(QEvent::MouseMove, {490, 560}, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(vertical->value(), 40) << "past the top: unchanged";
    EXPECT_EQ(horizontal->value(), 10);
    Mouse(QEvent::MouseMove, {490, 560 - vertical->maximum()}, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(vertical->value(), 40) << "past the end: unchanged";
    Mouse(QEvent::MouseMove, {490, 530}, Qt::NoButton, Qt::RightButton | Qt::LeftButton);
    EXPECT_EQ(vertical->value(), 40) << "two buttons: no scrolling";

    view->SpeedButtonZoomClick();
    EXPECT_FALSE(view->ActualSize());
    EXPECT_EQ(view->ImageBig->size(), view->ScrollBox1->viewport()->size());
    Mouse(QEvent::MouseButtonPress, {500, 500}, Qt::RightButton, Qt::RightButton);
    Mouse(QEvent::MouseMove, {500, 450}, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(vertical->value(), 0) << "fit mode does not scroll";
}

// The left button drags the shown file once it is 10 pixels away in either direction.
TEST_F(FormView1Test, LeftDragOffersTheShownFile)
{
    const QString file = AddJob({30, 30});
    ShowWindow();
    Mouse(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, {120, 100}, Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(drags.isEmpty()) << "nothing shown, nothing to drag";

    view->ShowFile(file);
    Mouse(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, {109, 109}, Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(drags.isEmpty());
    Mouse(QEvent::MouseMove, {110, 91}, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_TRUE(drags.isEmpty()) << "a modifier key held: no drag";
    Mouse(QEvent::MouseMove, {110, 91}, Qt::NoButton, Qt::LeftButton);
    ASSERT_EQ(drags.size(), 1);
    EXPECT_EQ(drags[0], QStringList{file});
}

// Rotation turns the shown picture only; the file stays as it was.
TEST_F(FormView1Test, RotationTurnsThePictureNotTheFile)
{
    const QString file = AddJob({40, 20}, QColor());
    QImage picture = Picture(40, 20, Qt::blue);
    QPainter(&picture).fillRect(0, 0, 10, 20, Qt::red); // red band on the left
    QDir().mkpath(QFileInfo(file).path());
    ASSERT_TRUE(picture.save(file, "PNG"));
    QFile original(file);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();

    view->ShowFile(file);
    view->SpeedButtonRotateClick();
    ASSERT_EQ(view->ImageSmall().size(), QSize(20, 40));
    EXPECT_EQ(view->ImageSmall().pixel(10, 2), QColor(Qt::red).rgb()) << "clockwise: the left band goes on top";
    EXPECT_EQ(view->ImageSmall().pixel(10, 38), QColor(Qt::blue).rgb());
    EXPECT_EQ(view->ImageBig->Picture().size(), QSize(20, 40)) << "the surface shows the turned picture";

    view->SpeedButtonCRotateClick();
    view->SpeedButtonCRotateClick();
    ASSERT_EQ(view->ImageSmall().size(), QSize(20, 40));
    EXPECT_EQ(view->ImageSmall().pixel(10, 38), QColor(Qt::red).rgb()) << "counter-clockwise: at the bottom";

    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), before);
}

// A build makes the icons of the jobs' files that can be shown, in job order, and hands them to
// the catalogue captioned with their paths.
TEST_F(FormView1Test, ThumbnailBuildFillsTheCatalogue)
{
    const QString first = AddJob({80, 40}, Qt::red);
    AddJob({30, 30}, QColor()); // missing
    const QString third = AddJob({40, 80}, Qt::blue, "BMP");
    const QString junk = AddJob({10, 10}, QColor());
    QDir().mkpath(QFileInfo(junk).path());
    QFile(junk).open(QIODevice::WriteOnly);
    const QString last = AddJob({50, 50}, Qt::green);

    bool stopEnabledDuring = false;
    QTimer::singleShot(0, [&] {
        stopEnabledDuring = view->SpeedButtonStop->isEnabled() && !view->SpeedButtonIcons->isEnabled();
    });
    view->SpeedButtonIconsClick();
    EXPECT_TRUE(stopEnabledDuring);

    ASSERT_EQ(view->ImageListIcons.Count(), 3);
    EXPECT_EQ(view->ImageListIcons.Image(0).pixel(32, 32), QColor(Qt::red).rgb());
    EXPECT_EQ(view->ImageListIcons.Image(1).pixel(32, 32), QColor(Qt::blue).rgb());
    EXPECT_EQ(view->ImageListIcons.Image(2).pixel(32, 32), QColor(Qt::green).rgb());
    EXPECT_TRUE(view->FormIcons->isVisible());
    EXPECT_EQ(view->FormIcons->ImageListIcons, &view->ImageListIcons);
    EXPECT_EQ(view->FormIcons->EntryCount(), 3);
    for (const QString &file : {first, third, last})
        EXPECT_TRUE(view->FormIcons->HasEntry(file)) << qPrintable(file);
    EXPECT_EQ(view->FormIcons->windowTitle(), "/lists/week.wst");
    EXPECT_TRUE(view->ListBoxIcon.isEmpty());
    EXPECT_FALSE(view->ThumbnailMode());
    EXPECT_FALSE(view->SpeedButtonStop->isEnabled());
    EXPECT_TRUE(view->SpeedButtonIcons->isEnabled() && view->SpeedButtonBf->isEnabled());
    EXPECT_FALSE(view->ImageIcon->isVisibleTo(view.get()));

    // With the catalogue open, a shown file joins it once.
    const QString extra = temp.file("extra.png");
    ASSERT_TRUE(Picture(20, 20, Qt::yellow).save(extra));
    view->ShowFile(extra);
    view->ShowFile(extra);
    EXPECT_EQ(view->FormIcons->EntryCount(), 4);
    EXPECT_EQ(view->ImageListIcons.Count(), 4);
    view->ShowFile(first);
    EXPECT_EQ(view->ImageListIcons.Count(), 4) << "already in the catalogue";
}

// The stop button ends a build after the job being shown. Files finished meanwhile join the
// thumbnails, even one that arrives before the first job is read.
TEST_F(FormView1Test, StopEndsABuildAndFinishedFilesJoinIt)
{
    const QString job0 = AddJob({20, 20}, Qt::red);
    for (int i = 0; i < 3; ++i)
        AddJob({20, 20});
    QStringList downloaded;
    for (const QColor colour : {Qt::cyan, Qt::yellow}) {
        downloaded.append(temp.file(QStringLiteral("new%1.png").arg(downloaded.size())));
        ASSERT_TRUE(Picture(20, 20, colour).save(downloaded.last()));
    }
    view->FormIcons->show(); // open from an earlier build
    QTimer::singleShot(0, [&] { view->ShowFile(downloaded[0]); });
    onUrl = [&](int row) {
        if (row != 1)
            return;
        view->ShowFile(downloaded[1]); // as a worker's finished file arrives during the build
        view->SpeedButtonStop->click();
    };
    view->SpeedButtonIconsClick();
    ASSERT_EQ(view->ImageListIcons.Count(), 4) << "both finished files, jobs 0 and 1, then the stop";
    EXPECT_EQ(view->ImageListIcons.Image(0).pixel(32, 32), QColor(Qt::cyan).rgb());
    EXPECT_EQ(view->ImageListIcons.Image(1).pixel(32, 32), QColor(Qt::red).rgb());
    EXPECT_EQ(view->ImageListIcons.Image(2).pixel(32, 32), QColor(Qt::yellow).rgb());
    EXPECT_EQ(view->FormIcons->EntryCount(), 4) << "one entry per icon, none twice";
    for (const QString &file : downloaded + QStringList{job0})
        EXPECT_TRUE(view->FormIcons->HasEntry(file)) << qPrintable(file);
}

// A name handed over by another program is shown; a catalogue file only goes to a visible catalogue.
TEST_F(FormView1Test, HandOverShowsTheFile)
{
    const QString file = AddJob({30, 30});
    ShowWindow();
    THandOver sender(handOverName);
    ASSERT_TRUE(sender.Send(file)) << qPrintable(sender.Reason());
    EXPECT_TRUE(WaitForEvents([&] { return view->CurrentFile() == file; }));
}

TEST_F(FormView1Test, HandOverRules)
{
    const QString file = AddJob({30, 30});
    TSharedMemory block;
    block.SetBlockSize(THandOver::BlockSize);
    block.SetBlockName(handOverName);
    auto put = [&](const QString &text) {
        const QByteArray name = QFile::encodeName(text);
        memcpy(block.Memory(), name.constData(), size_t(name.size()) + 1);
    };

    put(file);
    view->BC1BroadcastMsg();
    EXPECT_TRUE(view->CurrentFile().isEmpty()) << "a hidden viewer takes nothing";

    ShowWindow();
    view->BC1BroadcastMsg();
    EXPECT_EQ(view->CurrentFile(), file);

    put(temp.file("list.PEL"));
    view->BC1BroadcastMsg();
    EXPECT_FALSE(view->ImageSmall().isNull()) << "a catalogue file with the catalogue hidden does nothing";
    EXPECT_EQ(view->CurrentFile(), file);
    EXPECT_FALSE(view->FormIcons->isVisible());

    view->FormIcons->show();
    view->BC1BroadcastMsg();
    EXPECT_EQ(view->FormIcons->windowTitle(), temp.file("list.PEL"));
    EXPECT_FALSE(view->ImageSmall().isNull());
}

// The file-manager button opens the download folder, or the companion program when it is there;
// a failure says so.
TEST_F(FormView1Test, FileManagerButton)
{
    QStringList opened;
    bool succeed = true;
    view->ShellOpen = [&](const QString &path, bool program) {
        opened.append(path + (program ? " (program)" : ""));
        return succeed;
    };
    view->SpeedButtonFileListClick();
    EXPECT_EQ(opened, QStringList{temp.path() + "/tmp"});
    EXPECT_TRUE(view->findChildren<QMessageBox *>().isEmpty());

    const QString program = temp.write("Kestrum", "#!/bin/sh\n");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    succeed = false;
    view->SpeedButtonFileListClick();
    EXPECT_EQ(opened.last(), program + " (program)");
    const auto boxes = view->findChildren<QMessageBox *>();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0]->text(), "起動できませんでした。");
}

TEST_F(FormView1Test, ProgressBars)
{
    view->SetProgress({10, 20, 0, 0, 0, 0, 0, 0, 0, 100}, 75);
    EXPECT_EQ(view->PBar[0]->value(), 75);
    EXPECT_EQ(view->PBar[1]->value(), 10);
    EXPECT_EQ(view->PBar[2]->value(), 20);
    EXPECT_EQ(view->PBar[10]->value(), 100);
}

// A format the toolkit cannot read is shown through a decoder plug-in found beside the program.
TEST_F(FormView1Test, ShowsPicturesThroughDecoderPlugins)
{
    const QString encoder = QStandardPaths::findExecutable("avifenc");
    if (encoder.isEmpty())
        GTEST_SKIP() << "avifenc is not installed";
    const QString png = temp.file("in.png"), avif = temp.file("pic.avif");
    ASSERT_TRUE(Picture(24, 16, Qt::blue).save(png));
    QProcess process;
    process.start(encoder, {"--lossless", png, avif});
    ASSERT_TRUE(process.waitForFinished(120000));
    ASSERT_EQ(process.exitCode(), 0);

    view->ShowFile(avif);
    ASSERT_EQ(view->ImageSmall().size(), QSize(24, 16));
    EXPECT_EQ(view->ImageSmall().pixel(5, 5), QColor(Qt::blue).rgb());
    EXPECT_EQ(view->CurrentFile(), avif);
}
