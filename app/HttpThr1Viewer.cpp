// The main window's side of the picture viewer: what the viewer reads of the job list, and the
// list clicks, finished downloads and monitor passes that reach it.
#include "app/HttpThr1.h"

#include "app/TSoundPlayer.h"
#include "core/TJobFile.h"
#include "viewer/FormView1.h"

#include <QItemSelectionModel>
#include <QToolButton>
#include <QTreeView>

void TFormMain::MakeViewer()
{
    TViewerHost host;
    host.JobCount = [this] { return Jobs.RowCount(); };
    host.FirstSelectedRow = [this] {
        const QList<int> rows = SelectedRows();
        return rows.isEmpty() ? -1 : rows.first();
    };
    host.SetRowSelected = [this](int row, bool selected) {
        const QModelIndex index = Jobs.index(row, 0);
        ListViewMon->selectionModel()->select(index,
                                              (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect)
                                                  | QItemSelectionModel::Rows);
        if (selected)
            ListViewMon->scrollTo(index);
    };
    host.JobFile = [this](int row) {
        return TJobFile::ExistingPath(Jobs, row, ProgramFolder, Settings.LongFileNames());
    };
    host.ProgramFolder = [this] { return ProgramFolder; };
    host.ListFileName = [this] { return ListFileName; };
    // A window of its own rather than one kept above the main window, so that the main window can
    // come to the front; it does not keep the program running once the main window is closed.
    FormView = new TFormView(std::move(host));
    FormView->setAttribute(Qt::WA_QuitOnClose, false);
    FormView->MainForm = this;

    connect(ToolButton6, &QToolButton::clicked, FormView, &QWidget::show);
    connect(ListViewMon, &QAbstractItemView::clicked, this, [this] {
        const QList<int> rows = SelectedRows();
        if (FormView->isVisible() && !rows.isEmpty())
            FormView->ShowJob(rows.first());
    });
    connect(&Scheduler, &TScheduler::FileCompleted, this, [this](const QString &file) {
        if (!FormView->isVisible())
            return;
        FormView->ShowFile(file);
        if (Settings.Sound1 == 1)
            FSound->PlayDoneSound();
    });
    connect(&Scheduler, &TScheduler::ProgressChanged, this,
            [this](const TScheduler::TWorkerProgress &workers, int overall) {
                if (FormView->isVisible())
                    FormView->SetProgress(workers, overall);
            });
}
