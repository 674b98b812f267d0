#include "resources/TDialogs.h"

#include "app/FormOpt1.h"
#include "app/TQtTranslation.h"
#include "maker/FormHome1.h"
#include "resources/TNotice.h"
#include "tests/support/MainWindowFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <functional>

namespace {

// What a modal dialog looked like while it ran: caught from the event loop, then cancelled.
struct TSeenDialog {
    QWidget *parent = nullptr;
    bool staysOnTop = false;
    QStringList filterTexts;
};

TSeenDialog WhileModal(const std::function<void()> &open)
{
    TSeenDialog seen;
    QTimer::singleShot(0, [&seen] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen.parent = dialog->parentWidget();
        seen.staysOnTop = dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        if (auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo")))
            for (int i = 0; i < types->count(); ++i)
                seen.filterTexts.append(types->itemText(i));
        dialog->reject();
    });
    open();
    return seen;
}

class TDialogsTest : public MainWindowFixture
{
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        QDir(temp.path()).mkdir("tmp");
        form->setGeometry(100, 80, 700, 400);
        form->show();
    }
};

} // namespace

// Qt's own buttons speak Japanese once the translation is installed, as the program installs it at start.
TEST(TQtTranslationTest, MessageBoxButtonsAreJapanese)
{
    ASSERT_TRUE(TQtTranslation::Install(*qApp));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("except"), QStringLiteral("text"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
}

// A message opened from the main window belongs to it, opens centred on it, and is kept above the Home
// window while that is shown; with Home hidden it is an ordinary dialog.
TEST_F(TDialogsTest, MessagesStayAboveHomeCentredOnTheirWindow)
{
    TNotice::Show(form.get(), QMessageBox::Information, QStringLiteral("plain"));
    auto *plain = form->findChild<QMessageBox *>();
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(plain->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    plain->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    form->FormHome->show();
    TNotice::Show(form.get(), QMessageBox::Information, QStringLiteral("above"));
    auto *box = form->findChild<QMessageBox *>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->parentWidget(), form.get());
    EXPECT_TRUE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    const QPoint offset = box->frameGeometry().center() - form->frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
    box->close();

    // A box no window asked for goes over the window in front.
    form->activateWindow();
    QApplication::setActiveWindow(form.get());
    const TSeenDialog guard = WhileModal([] {
        TDialogs::Ask(nullptr, QMessageBox::Warning, QStringLiteral("except"), QStringLiteral("op"),
                      QMessageBox::Ok | QMessageBox::Cancel);
    });
    EXPECT_EQ(guard.parent, form.get());
    EXPECT_TRUE(guard.staysOnTop);
}

// File dialogs of the main window: above Home, and each filter shows its pattern once.
TEST_F(TDialogsTest, FileDialogsStayAboveHomeWithFiltersShownOnce)
{
    form->FormHome->show();
    const TSeenDialog open = WhileModal([this] {
        EXPECT_TRUE(
            form->ChooseOpenFile(QString(), temp.path(), QStringLiteral("Pelmor(*.WST) (*.WST *.wst);;すべて (*)"))
                .isEmpty());
    });
    EXPECT_EQ(open.parent, form.get());
    EXPECT_TRUE(open.staysOnTop);
    EXPECT_EQ(open.filterTexts, QStringList({QStringLiteral("Pelmor(*.WST)"), QStringLiteral("すべて")}));

    QString selected = QStringLiteral("Text(*.TXT) (*.TXT *.txt)");
    const TSeenDialog save = WhileModal([this, &selected] {
        form->ChooseSaveFile(QString(), temp.file("list.wst"),
                             QStringLiteral("Pelmor(*.WST) (*.WST *.wst);;Text(*.TXT) (*.TXT *.txt)"), &selected);
    });
    EXPECT_EQ(save.filterTexts, QStringList({QStringLiteral("Pelmor(*.WST)"), QStringLiteral("Text(*.TXT)")}));
    EXPECT_EQ(selected, "Text(*.TXT) (*.TXT *.txt)") << "a cancelled dialog leaves the filter as it was";
}

// The Text filter chosen in a real save dialog exports the URL list, whatever the dialog reports as the
// filter's text (with details hidden, Qt reports the shown name "Text(*.TXT)", not the whole filter).
TEST_F(TDialogsTest, TextFilterChosenInTheSaveDialogExportsUrls)
{
    form->Jobs.AddJob(QStringLiteral("http://h/whole.jpg"), 0, 0, {});
    form->Jobs.AddJob(QStringLiteral("http://h/part.jpg"), 0, 100, QStringLiteral("001"));
    form->SetListFileName(temp.file("list.WST"));
    QString seenFilter;
    bool accepted = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (types && name) {
            EXPECT_EQ(types->currentIndex(), 0) << "a .WST list starts on the list filter";
            QTest::keyClick(types, Qt::Key_Down);
            seenFilter = types->currentText();
            // Typed as a person types: into the focused name field of the active dialog.
            QApplication::setActiveWindow(dialog);
            name->setFocus();
            name->clear();
            QTest::keyClicks(name, QStringLiteral("export"));
            QTest::keyClick(name, Qt::Key_Return);
            accepted = !dialog->isVisible() && dialog->result() == QDialog::Accepted;
        }
        // Whatever went wrong, the dialog must not hold the test.
        if (dialog->isVisible())
            dialog->reject();
    });
    form->TButtonSaveClick();
    ASSERT_EQ(seenFilter, QStringLiteral("Text(*.TXT)"));
    ASSERT_TRUE(accepted) << "Return in the name field saves";
    EXPECT_FALSE(QFile::exists(temp.file("export.WST")));
    EXPECT_EQ(temp.read("export.TXT"), QByteArray("http://h/whole.jpg\r\n"));
    EXPECT_EQ(form->ListFileName, temp.file("export.TXT"));

    // The rule that finds the filter, for either report and for one it does not know.
    const QStringList filters{QStringLiteral("Pelmor(*.WST) (*.WST *.wst)"),
                              QStringLiteral("Text(*.TXT) (*.TXT *.txt)")};
    EXPECT_EQ(TDialogs::FilterIndex(filters, QStringLiteral("Text(*.TXT)")), 1);
    EXPECT_EQ(TDialogs::FilterIndex(filters, filters[1]), 1);
    EXPECT_EQ(TDialogs::FilterIndex(filters, QStringLiteral("Pelmor(*.WST)")), 0);
    EXPECT_EQ(TDialogs::FilterIndex(filters, QStringLiteral("Text")), -1);
}

// The options dialog belongs to the main window and comes above Home while Home is shown; opened
// again with Home hidden it is an ordinary dialog.
TEST_F(TDialogsTest, OptionsDialogAboveHomeWhileShown)
{
    form->FormHome->show();
    form->ToolButtonEnvClick();
    TFormOpt *options = form->FormOpt;
    EXPECT_TRUE(options->isVisible());
    EXPECT_EQ(options->parentWidget(), form.get());
    EXPECT_TRUE(options->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    options->close();

    form->FormHome->hide();
    form->ToolButtonEnvClick();
    EXPECT_TRUE(options->isVisible());
    EXPECT_FALSE(options->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(options->windowFlags().testFlag(Qt::Dialog));
}
