#include "tests/support/TempFolder.h"
#include "viewer/FormViewIcons.h"
#include "viewer/TPelFile.h"

#include <QListView>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

QImage Colour(QRgb rgb)
{
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(rgb);
    return image;
}

// The window on lists of its own, every question answered by the test.
struct TIconsFixture : ::testing::Test {
    TIconsFixture()
    {
        form.SetIconList(&icons);
        form.ListBoxIcon = &captions;
        form.ChooseSaveFile = [this](const QString &name, const QString &filter) {
            offered.append(name);
            filters.append(filter);
            return chosen;
        };
        form.ChooseOpenFile = form.ChooseSaveFile;
        form.Confirm = [this](const QString &text, const QString &caption) {
            questions.append(caption + "|" + text);
            return answer;
        };
        form.ShowMessage = [this](const QString &text) { messages.append(text); };
    }
    // Icons 0, 1, 2 captioned so that their sorted order is 2, 0, 1.
    void AddThree()
    {
        const QList<QPair<QString, QRgb>> made{{"/p/b.jpg", qRgb(255, 0, 0)},
                                               {"/p/c.jpg", qRgb(0, 255, 0)},
                                               {"/P/a.jpg", qRgb(0, 0, 255)}};
        for (const auto &[caption, rgb] : made) {
            icons.Add(Colour(rgb));
            form.AddEntry(caption, icons.Count() - 1);
        }
    }
    QStringList Shown() const
    {
        QStringList shown;
        for (int row = 0; row < form.EntryCount(); ++row)
            shown.append(form.EntryCaption(row));
        return shown;
    }

    TTempFolder temp;
    TIconList icons;
    QStringList captions;
    TFormIcons form;
    QString chosen;
    bool answer = false;
    QStringList offered, filters, questions, messages;
};

} // namespace

// Catches a window that differs from its description: caption, size, disabled buttons, hint, colours.
TEST_F(TIconsFixture, LooksAsDescribed)
{
    EXPECT_EQ(form.windowTitle(), "Icons");
    EXPECT_EQ(form.size(), QSize(397, 272));
    EXPECT_FALSE(form.ToolButtonNew->isEnabled());
    EXPECT_FALSE(form.ToolButtonLoadAdd->isEnabled());
    EXPECT_TRUE(form.ToolButtonSave->isEnabled() && form.ToolButtonLoad->isEnabled());
    EXPECT_EQ(form.ListViewIcon->viewMode(), QListView::IconMode);
    EXPECT_EQ(form.ListViewIcon->toolTip(), "テキストコード順で表示されます");
    EXPECT_EQ(form.ListViewIcon->palette().color(QPalette::Base), QColor(128, 64, 64));
    EXPECT_EQ(form.ListViewIcon->palette().color(QPalette::Text), QColor(Qt::white));
}

// Catches locale or case-blind sorting (upper case sorts first in code order), a lost duplicate
// check, and a selection that does not show the file or a deselection that does.
TEST_F(TIconsFixture, EntriesSortedByCodeAndSelectionShowsTheFile)
{
    AddThree();
    EXPECT_EQ(Shown(), (QStringList{"/P/a.jpg", "/p/b.jpg", "/p/c.jpg"}));
    EXPECT_TRUE(form.HasEntry("/p/c.jpg"));
    EXPECT_FALSE(form.HasEntry("/p/a.jpg"));

    QStringList shownFiles;
    form.OnShowFile = [&](const QString &file) { shownFiles.append(file); };
    form.ListViewIcon->setCurrentIndex(form.ListViewIcon->model()->index(1, 0));
    EXPECT_EQ(shownFiles, QStringList{"/p/b.jpg"});
    form.ListViewIcon->clearSelection();
    EXPECT_EQ(shownFiles.size(), 1) << "deselecting shows nothing";
}

// Catches captions saved in shown order instead of icon order, the default name or filter not
// offered, the extension not added, the overwrite question skipped or its "no" ignored.
TEST_F(TIconsFixture, SaveAsksBeforeOverwritingAndKeepsCaptionsWithIcons)
{
    AddThree();
    form.ListFileName = [this] { return temp.file("jobs.WST"); };
    chosen = temp.file("cat");
    form.ToolButtonSaveClick();
    EXPECT_EQ(offered, QStringList{temp.file("jobs.pel")});
    EXPECT_EQ(filters, QStringList{"ペルモｻﾑﾈｰﾙ (*.pel)"});
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_TRUE(captions.isEmpty()) << "the caption list is emptied after the save";
    TIconList read;
    QStringList readCaptions;
    TPelFile::Load(temp.file("cat.pel"), read, readCaptions);
    EXPECT_EQ(readCaptions, (QStringList{"/p/b.jpg", "/p/c.jpg", "/P/a.jpg"}));

    temp.write("cat.pel", "old");
    chosen = temp.file("cat.pel");
    form.ToolButtonSaveClick();
    EXPECT_EQ(questions, QStringList{"上書きの確認|" + chosen + " は存在します。上書きしますか？"});
    EXPECT_EQ(temp.read("cat.pel"), "old") << "no means no";
    answer = true;
    form.ToolButtonSaveClick();
    EXPECT_EQ(temp.read("cat.pel"), TPelFile::Write(icons, {"/p/b.jpg", "/p/c.jpg", "/P/a.jpg"}));

    // A folder with a dot already gives the name a dot: it is kept as chosen.
    chosen = temp.file("v1.0/cat");
    form.ToolButtonSaveClick();
    EXPECT_TRUE(QFileInfo(temp.file("v1.0/cat")).isFile());
    EXPECT_FALSE(QFileInfo::exists(temp.file("v1.0/cat.pel")));
}

// Catches a failed write reported as success or clobbering the file.
TEST_F(TIconsFixture, SaveErrorIsShown)
{
    AddThree();
    chosen = temp.write("plain", "x") + "/cat.pel";
    form.ToolButtonSaveClick();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("cat.pel")) << messages[0].toStdString();
}

// Catches a load that does not rebuild the entries from the file, or a damaged file that empties
// the catalogue instead of leaving it.
TEST_F(TIconsFixture, LoadRebuildsEntriesAndADamagedFileChangesNothing)
{
    TIconList saved;
    saved.Add(Colour(qRgb(1, 2, 3)));
    saved.Add(Colour(qRgb(4, 5, 6)));
    TPelFile::Save(temp.file("two.pel"), saved, {"/z.jpg", "/y.jpg"});
    chosen = temp.file("two.pel");
    form.ToolButtonLoadClick();
    EXPECT_EQ(Shown(), (QStringList{"/y.jpg", "/z.jpg"}));
    EXPECT_EQ(icons.Count(), 2);
    EXPECT_EQ(captions, (QStringList{"/z.jpg", "/y.jpg"})) << "the viewer's list keeps the loaded lines";

    const QByteArray good = temp.read("two.pel");
    temp.write("bad.pel", good.left(good.size() / 2));
    form.LoadCatalogue(temp.file("bad.pel"));
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(Shown(), (QStringList{"/y.jpg", "/z.jpg"}));
    EXPECT_EQ(icons.Count(), 2);

    chosen = temp.file("missing.pel");
    form.ToolButtonLoadClick();
    EXPECT_EQ(messages.size(), 1) << "a chosen file that does not exist does nothing";
}
