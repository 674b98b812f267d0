// The main window's list commands: toolbar buttons, the list's pop-up menu, sorting, and dragging
// URLs in and files out.
#include "app/HttpThr1.h"

#include "core/TListCommands.h"
#include "core/TUrlEntry.h"
#include "maker/FormHome1.h"
#include "resources/TFileDrag.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

void TFormMain::ConnectCommands()
{
    connect(TButtonSetUp, &QToolButton::clicked, this, &TFormMain::TButtonSetUpClick);
    connect(ToolButtonEnv, &QToolButton::clicked, this, &TFormMain::ToolButtonEnvClick);
    connect(TButtonGet, &QToolButton::clicked, this, &TFormMain::TButtonGetClick);
    connect(TButtonStop, &QToolButton::clicked, &Scheduler, &TScheduler::TButtonStopClick);
    connect(ToolButtonStop, &QToolButton::clicked, &Scheduler, &TScheduler::StopAll);
    connect(TButtonAbort, &QToolButton::clicked, this, &TFormMain::TButtonAbortClick);
    connect(TButtonNewList, &QToolButton::clicked, this, &TFormMain::TButtonNewListClick);
    connect(TButtonCut, &QToolButton::clicked, this, &TFormMain::TButtonCutClick);
    connect(TButtonReady, &QToolButton::clicked, this, &TFormMain::TButtonReadyClick);
    connect(TButtonSkip, &QToolButton::clicked, this, &TFormMain::TButtonSkipClick);
    connect(ToolButtonUp, &QToolButton::clicked, this, &TFormMain::ToolButtonUpClick);
    connect(ToolButtonDown, &QToolButton::clicked, this, &TFormMain::ToolButtonDownClick);
    connect(ToolButtonFromClip, &QToolButton::clicked, this, &TFormMain::ToolButtonFromClipClick);
    connect(TButtonOpen, &QToolButton::clicked, this, &TFormMain::TButtonOpenClick);
    connect(TButtonSave, &QToolButton::clicked, this, &TFormMain::TButtonSaveClick);
    connect(ToolButtonHomePage, &QToolButton::clicked, this, &TFormMain::ToolButtonHomePageClick);
    connect(ToolButtonMail, &QToolButton::clicked, this, &TFormMain::ToolButtonMailClick);
    connect(PopOpen, &QAction::triggered, this, &TFormMain::PopOpenClick);
    connect(PopFileDelete, &QAction::triggered, this, &TFormMain::PopFileDeleteClick);
    connect(PopURLOk, &QAction::triggered, this, [this] { SetDropMode(true); });
    connect(PopWSTOk, &QAction::triggered, this, [this] { SetDropMode(false); });
    connect(PopMarge, &QAction::triggered, this, &TFormMain::PopMargeClick);
    connect(PopSelectAll, &QAction::triggered, this, &TFormMain::PopSelectAllClick);
    connect(ListViewMon->header(), &QHeaderView::sectionClicked, this, &TFormMain::ListViewMonColumnClick);
}

void TFormMain::TButtonNewListClick()
{
    setWindowTitle(QStringLiteral("ソラリト [新規]"));
    ListFileName.clear();
    Scheduler.StopAll();
    // The stopped workers write their last cells first; only then may their rows go.
    Scheduler.WaitUntilParked();
    Jobs.Clear();
}

void TFormMain::TButtonCutClick()
{
    ListViewMon->setCursor(Qt::WaitCursor);
    TListCommands::Cut(Jobs, Scheduler, SelectedRows());
    ListViewMon->unsetCursor();
}

void TFormMain::TButtonReadyClick()
{
    TListCommands::MarkReady(Jobs, Scheduler, SelectedRows());
}

void TFormMain::TButtonSkipClick()
{
    TListCommands::MarkCancel(Jobs, SelectedRows());
}

void TFormMain::SelectOnly(int row)
{
    ListViewMon->clearSelection();
    if (row < 0)
        return;
    ListViewMon->selectionModel()->select(Jobs.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ListViewMon->scrollTo(Jobs.index(row, 0));
}

void TFormMain::ToolButtonUpClick()
{
    MoveSelected(true);
}

void TFormMain::ToolButtonDownClick()
{
    MoveSelected(false);
}

void TFormMain::MoveSelected(bool up)
{
    const QList<int> selected = SelectedRows();
    // The first selected row cannot go above the top, nor the last below the bottom.
    if (selected.isEmpty() || (up ? selected.first() == 0 : selected.last() == Jobs.RowCount() - 1))
        return;
    bool refused = false;
    const int moved = up ? TListCommands::MoveUp(Jobs, Scheduler, selected, &refused)
                         : TListCommands::MoveDown(Jobs, Scheduler, selected, &refused);
    SelectOnly(moved);
    SetStatus(moved >= 0 ? QStringLiteral("項目を移動しました。") : QStringLiteral("取得中項目は移動できません。"));
}

void TFormMain::ToolButtonFromClipClick()
{
    DropURLTarget1Drop(QApplication::clipboard()->text());
}

void TFormMain::ListViewMonColumnClick(int column)
{
    if (column != 1 + SubURL)
        return;
    if (Scheduler.IsFetching() || Scheduler.AnyJobRunning()) {
        SetStatus(QStringLiteral("取得中はソートできません。"));
        return;
    }
    Jobs.SortByUrl();
    SetStatus(QStringLiteral("項目をＵＲＬでソートしました。"));
}

void TFormMain::PopOpenClick()
{
    const QList<int> selected = SelectedRows();
    if (selected.isEmpty())
        return;
    const QStringList files = TListCommands::ExistingFiles(Jobs, {selected.first()}, ProgramFolder,
                                                           Settings.LongFileNames(), false);
    if (files.isEmpty())
        return;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(files.first())))
        ShowMessage(QStringLiteral("プログラムを起動できませんでした。"));
}

void TFormMain::PopFileDeleteClick()
{
    const QStringList files = TListCommands::ExistingFiles(Jobs, SelectedRows(), ProgramFolder,
                                                           Settings.LongFileNames(), true);
    if (files.isEmpty())
        return;
    if (!Confirm(files.first() + QStringLiteral(" 以下全て削除します。"), QStringLiteral("削除の確認")))
        return;
    for (const QString &file : files)
        QFile::remove(file);
    SetStatus(QStringLiteral("削除完了"));
}

void TFormMain::PopSelectAllClick()
{
    ListViewMon->selectAll();
}

void TFormMain::SetDropMode(bool urls)
{
    FDropUrls = urls;
    PopURLOk->setChecked(urls);
    PopWSTOk->setChecked(!urls);
}

void TFormMain::DropURLTarget1Drop(const QString &url)
{
    const QStringList lines = TUrlEntry::Lines(url);
    QStringList refused;
    for (const QString &line : lines)
        if (const QString refusal = TUrlEntry::Refusal(line); !refusal.isEmpty())
            refused.append(refusal);
    // Text with no URL in it leaves the Home window closed and says why here.
    if (lines.isEmpty() || refused.size() == lines.size()) {
        if (!refused.isEmpty())
            ShowMessage(TUrlEntry::RefusalText(refused));
        return;
    }
    FormHome->show();
    FormHome->raise();
    FormHome->TakeUrlText(url);
}

bool TFormMain::ListViewDragEvent(QEvent *event)
{
    auto *drag = static_cast<QDropEvent *>(event);
    const QMimeData *mime = drag->mimeData();
    QStringList files;
    for (const QUrl &url : mime->urls())
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    // The list takes links or files, never both: the pop-up menu chooses which.
    const bool acceptable = FDropUrls ? (mime->hasUrls() || mime->hasText()) && files.isEmpty() : !files.isEmpty();
    if (!acceptable) {
        event->ignore();
        return true;
    }
    drag->acceptProposedAction();
    if (event->type() != QEvent::Drop)
        return true;
    if (!FDropUrls) {
        DropFileTarget1Drop(files);
        return true;
    }
    // Every link of the drag: several become a job each.
    const QString links = TFileDrag::DraggedLinks(*mime);
    DropURLTarget1Drop(links.isEmpty() ? mime->text() : links);
    return true;
}

bool TFormMain::ListViewMouseEvent(QEvent *event)
{
    auto *mouse = static_cast<QMouseEvent *>(event);
    if (event->type() == QEvent::MouseButtonPress) {
        FPressPosition = mouse->position().toPoint();
        return false;
    }
    const Qt::MouseButtons buttons = mouse->buttons();
    if ((buttons != Qt::LeftButton && buttons != Qt::RightButton) || !IsDragMove(FPressPosition, *mouse))
        return false;
    const QStringList files = TListCommands::ExistingFiles(Jobs, SelectedRows(), ProgramFolder,
                                                           Settings.LongFileNames(), false);
    if (files.isEmpty())
        return false;
    StartDrag(files);
    return true;
}
