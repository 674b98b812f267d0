#include "maker/FormHome1.h"

#include "maker/TLinkTreeModel.h"
#include "maker/TreeList.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/NginxServer.h"

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

namespace {

class FormHome1LinksTest : public MainWindowFixture
{
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        home = form->FormHome;
    }
    QStringList Jobs() const
    {
        QStringList urls;
        for (int row = 0; row < form->Jobs.RowCount(); ++row)
            urls.append(form->Jobs.Cell(row, SubURL).mid(site.size()));
        return urls;
    }
    QStringList Nodes(const QModelIndex &parent = {}) const
    {
        QStringList urls;
        for (int row = 0; row < home->LinkTree->rowCount(parent); ++row)
            urls.append(home->LinkTree->Url(home->LinkTree->index(row, 0, parent)).mid(site.size()));
        return urls;
    }
    void Import()
    {
        form->Jobs.Clear();
        home->EditURL->setText(site + "index.html");
        QTest::mouseClick(home->ToolButtonMake, Qt::LeftButton);
    }

    TFormHome *home = nullptr;
    QString site;
};

} // namespace

// The tree is read-only, indents by 19, shows two sections of 250 (at least 100) and a hint; Clear
// empties it; a double-click while a fetch runs (Make disabled) starts nothing.
TEST_F(FormHome1LinksTest, TreeViewAndItsCommands)
{
    TTreeList *tree = home->TreeList1;
    EXPECT_EQ(tree->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(tree->indentation(), 19);
    EXPECT_EQ(tree->toolTip(), QStringLiteral("ダブルクリックでＵＲＬインポートを実行"));
    EXPECT_EQ(home->HeaderControl1->minimumSectionSize(), 100);
    EXPECT_EQ(home->HeaderControl1->sectionSize(0), 250);
    EXPECT_EQ(home->HeaderControl1->sectionSize(1), 250);
    EXPECT_EQ(home->LinkTree->headerData(1, Qt::Horizontal).toString(), QStringLiteral("ＵＲＬ"));
    EXPECT_EQ(home->PopAllClear->text(), QStringLiteral("全項目をクリア"));

    home->LinkTree->AddLinkNode({}, " page", "http://127.0.0.1:1/page.html");
    tree->setCurrentIndex(home->LinkTree->index(0, 1));
    home->ToolButtonMake->setEnabled(false);
    home->TreeList1DblClick();
    EXPECT_FALSE(home->ImportParent.isValid()) << "a double-click during a fetch is ignored";
    home->PopAllClear->trigger();
    EXPECT_EQ(home->LinkTree->rowCount(), 0);
}

// A page from a real server, imported with Make under each filter setting, then a double-click
// import of one of its pages into the tree below it.
TEST_F(FormHome1LinksTest, MakeImportsPageAndDoubleClickImportsBelowNode)
{
    TNginxServer server;
    ASSERT_TRUE(server.Start()) << server.Error().toStdString();
    site = server.Url("/");
    server.WriteFile(
        "index.html",
        "<a href=\"pics/a.jpg\">A</a> <a href=\"one.html\">One</a> <a href=\"two.html\">Two</a>\n"
        "<a href=\"mailto:me@example\">mail</a> <a href=\"list?page=2\">more</a> <a href=\"#top\">top</a>\n"
        "<img src=\"g.gif\"> <img src=\"t.jpg\" width=\"100\" height=\"80\">"
        " <img width=\"100\" height=\"80\" src=\"big.jpg\">\n");
    server.WriteFile("two.html", "<a href=\"x.jpg\">x</a><a href=\"deep.html\">deep</a>"
                                 "<a href=\"one.html\">back</a><a href=\"list?page=2\">again</a>");
    const QStringList pages{"one.html", "two.html", "mailto:me@example/", "list?page=2", "#top/"};
    home->show();
    home->ToolButtonNo3Click();

    Import();
    EXPECT_EQ(Jobs(), QStringList({"pics/a.jpg", "big.jpg"}));
    EXPECT_EQ(Nodes(), pages + QStringList({"g.gif", "t.jpg"}));

    form->Settings.Gif = 1;
    form->Settings.SNSize = 1;
    Import();
    EXPECT_EQ(Jobs(), QStringList({"pics/a.jpg", "g.gif", "t.jpg", "big.jpg"}));
    EXPECT_EQ(Nodes(), pages) << "Make empties the tree first";

    form->Settings.SRC = 0;
    Import();
    EXPECT_EQ(Jobs(), QStringList({"pics/a.jpg"}));

    form->Jobs.Clear();
    TLinkTreeModel *model = home->LinkTree;
    const QModelIndex two = model->index(1, 0);
    ASSERT_EQ(model->Url(two), site + "two.html");
    home->TreeList1->scrollTo(two);
    const QPoint at = home->TreeList1->visualRect(two).center();
    QTest::mouseClick(home->TreeList1->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(home->TreeList1->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(Jobs(), QStringList({"x.jpg"}));
    EXPECT_EQ(Nodes(two), QStringList({"deep.html", "one.html"})) << "one.html is listed above the node: a second node";
    EXPECT_EQ(Nodes(), pages) << "nothing new at the top";
    EXPECT_EQ(model->index(3, 0).data().toString(), " more |  again") << "the listed query page is found further down";
}
