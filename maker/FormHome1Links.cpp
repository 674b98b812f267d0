// The link tree of the Home window and the page import around it.
#include "maker/FormHome1.h"

#include "maker/TLinkImport.h"
#include "maker/TLinkTreeModel.h"
#include "maker/TreeList.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

void TFormHome::MakeLinkTree(const QRect &geometry)
{
    LinkTree = new TLinkTreeModel(this);
    TreeList1 = new TTreeList(this);
    TreeList1->setGeometry(geometry);
    TreeList1->setModel(LinkTree);
    TreeList1->setToolTip(QStringLiteral("ダブルクリックでＵＲＬインポートを実行"));
    // A double-click imports; it must not also fold the node.
    TreeList1->setExpandsOnDoubleClick(false);
    HeaderControl1 = TreeList1->header();
    HeaderControl1->setStretchLastSection(false);
    HeaderControl1->setMinimumSectionSize(100);
    HeaderControl1->resizeSection(0, 250);
    HeaderControl1->resizeSection(1, 250);
    connect(HeaderControl1, &QHeaderView::sectionResized, this, &TFormHome::HeaderControl1SectionResize);
    connect(TreeList1, &QTreeView::doubleClicked, this, &TFormHome::TreeList1DblClick);

    PopupMenu1 = new QMenu(this);
    PopAllClear = PopupMenu1->addAction(QStringLiteral("全項目をクリア"));
    connect(PopAllClear, &QAction::triggered, this, &TFormHome::PopAllClearClick);
    TreeList1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TreeList1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(TreeList1->viewport()->mapToGlobal(at)); });
}

void TFormHome::ButtonCliMakeClick()
{
    ImportParent = QPersistentModelIndex();
    LinkTree->Clear();
    FetchPage(EditURL->text());
}

void TFormHome::TreeList1DblClick()
{
    const QModelIndex selected = TreeList1->currentIndex();
    if (!ToolButtonMake->isEnabled() || HomeFetch.Fetching() || !selected.isValid())
        return;
    ImportParent = selected.siblingAtColumn(0);
    FetchPage(LinkTree->Url(ImportParent));
    if (ImportParent.isValid())
        TreeList1->expand(ImportParent);
}

void TFormHome::PopAllClearClick()
{
    LinkTree->Clear();
}

void TFormHome::HeaderControl1SectionResize()
{
    TreeList1->viewport()->update();
}

void TFormHome::FetchPage(const QString &url)
{
    TLinkImport(FJobs, *LinkTree, AWKStr1).ImportPage(HomeFetch, url, ImportParent, FSettings);
}
