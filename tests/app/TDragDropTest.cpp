#include "maker/FormHome1.h"
#include "tests/support/MainWindowFixture.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QTreeView>

namespace {

// What a browser puts on a dragged link: its address as a URL list and as text.
std::unique_ptr<QMimeData> BrowserLink(const QString &url)
{
    auto mime = std::make_unique<QMimeData>();
    mime->setUrls({QUrl(url)});
    mime->setText(url);
    mime->setData(QStringLiteral("text/x-moz-url"), (url + QStringLiteral("\nタイトル")).toUtf8());
    return mime;
}

std::unique_ptr<QMimeData> LocalFiles(const QStringList &files)
{
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &file : files)
        urls << QUrl::fromLocalFile(file);
    mime->setUrls(urls);
    return mime;
}

// Sends a drag's enter and, when that is accepted, its drop, as Qt delivers them to a target.
bool Drop(QWidget *target, const QMimeData &mime)
{
    const QPoint at(10, 10);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(at, Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

class TDragDropTest : public MainWindowFixture
{
protected:
    QWidget *List() const { return form->ListViewMon->viewport(); }
};

} // namespace

// Catches a link dropped on the list that does not reach the Home window, files taken while the
// list takes links (or links while it takes files), and a dropped file list not added or loaded.
TEST_F(TDragDropTest, TheListTakesLinksOrFilesAsItsModeSays)
{
    form->show();
    const QString link = QStringLiteral("https://pics.example/a/001.jpg");
    const QString picture = temp.write("pic.jpg", "x");
    EXPECT_FALSE(Drop(List(), *LocalFiles({picture})));
    ASSERT_TRUE(Drop(List(), *BrowserLink(link)));
    EXPECT_TRUE(form->FormHome->isVisible());
    EXPECT_EQ(form->FormHome->EditURL->text(), link);
    EXPECT_EQ(form->Jobs.rowCount(), 0);

    form->SetDropMode(false);
    EXPECT_FALSE(Drop(List(), *BrowserLink(link)));
    const QString list = temp.write("more.wst", "(..),http://h/listed.jpg,-,-,-,>,-,-,Ready,*,0,,,\r\n");
    ASSERT_TRUE(Drop(List(), *LocalFiles({list, picture})));
    ASSERT_EQ(form->Jobs.rowCount(), 2);
    EXPECT_EQ(form->Jobs.Cell(0, SubURL), "http://h/listed.jpg");
    EXPECT_EQ(form->Jobs.Cell(1, SubURL), "file://pic.jpg");
}

// Catches a drop of several links or lines of text kept to its first, or made one job of, and a
// dropped link that cannot be fetched taken without a word.
TEST_F(TDragDropTest, DroppedListsBecomeAJobPerLine)
{
    form->show();
    QMimeData links;
    links.setUrls({QUrl("http://h/a.jpg"), QUrl("https://h/b.jpg"), QUrl("ftp://h/c.jpg")});
    ASSERT_TRUE(Drop(List(), links));
    ASSERT_EQ(form->Jobs.rowCount(), 2);
    EXPECT_EQ(form->Jobs.Cell(1, SubURL), "https://h/b.jpg");
    const auto notices = form->FormHome->findChildren<QMessageBox *>();
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0]->text().contains("ftp://h/c.jpg"));

    QMimeData text;
    text.setText("http://h/d.jpg\r\nhttp://h/e.jpg\r\n");
    ASSERT_TRUE(Drop(List(), text));
    EXPECT_EQ(form->Jobs.rowCount(), 4);
}

// Catches a dropped link inserted beside the field's "http://" instead of replacing it, and local
// files or bare text taken for a link.
TEST_F(TDragDropTest, TheHomeWindowsAddressTakesDroppedLinksOnly)
{
    TFormHome *home = form->FormHome;
    home->show();
    const QString link = QStringLiteral("http://pics.example/b/$.jpg");
    ASSERT_TRUE(Drop(home->EditURL, *BrowserLink(link)));
    EXPECT_EQ(home->EditURL->text(), link);
    EXPECT_FALSE(Drop(home->EditURL, *LocalFiles({temp.write("c.jpg", "x")})));
    QMimeData text;
    text.setText(QStringLiteral("not a link"));
    EXPECT_FALSE(Drop(home->EditURL, text));
    EXPECT_EQ(home->EditURL->text(), link);
}

// Catches a drag out of the list that starts before the mouse has gone 10 pixels, offers files
// that do not exist, or leaves out a selected row's file.
TEST_F(TDragDropTest, FilesAreDraggedOutOfTheListOnceTheMouseHasMoved)
{
    QDir(temp.path()).mkdir("tmp");
    form->Jobs.AddJob(QStringLiteral("http://h/one.jpg"), 0, 0, {});
    form->Jobs.AddJob(QStringLiteral("http://h/none.jpg"), 0, 0, {});
    form->Jobs.AddJob(QStringLiteral("http://h/two.jpg"), 0, 0, {});
    const QString one = temp.write("tmp/hh_one.jpg", "1");
    const QString two = temp.write("tmp/hh_two.jpg", "2");
    form->show();
    form->ListViewMon->selectAll();
    QList<QStringList> drags;
    form->StartDrag = [&](const QStringList &files) { drags << files; };
    const auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, List()->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(List(), &event);
    };
    mouse(QEvent::MouseButtonPress, {20, 5}, Qt::LeftButton);
    mouse(QEvent::MouseMove, {29, 14}, Qt::LeftButton);
    EXPECT_TRUE(drags.isEmpty());
    mouse(QEvent::MouseMove, {30, 5}, Qt::LeftButton);
    ASSERT_EQ(drags.size(), 1);
    ASSERT_EQ(drags.first().size(), 2) << "every selected row with a file";
    EXPECT_TRUE(QFileInfo(drags.first().first()) == QFileInfo(one)) << drags.first().first().toStdString();
    EXPECT_TRUE(QFileInfo(drags.first().last()) == QFileInfo(two));
}
