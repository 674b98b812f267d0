#pragma once

#include "maker/THomeFetch.h"
#include "maker/bmRegExp.h"

#include <QPersistentModelIndex>
#include <QWidget>

class QFrame;
class QLabel;
class QLineEdit;
class QSpinBox;
class QStatusBar;
class QToolBar;
class QToolButton;
class QAction;
class QHeaderView;
class QMenu;
class TFormKairanban;
class TLinkTreeModel;
class TTreeList;
class TJobListModel;
struct TSettings;

// The "Home" window in which jobs are made: sequence expansion of a "$" pattern, single URLs and
// URLs from the clipboard; splits a URL into part jobs and shows the notice board.
class TFormHome : public QWidget
{
    Q_OBJECT
public:
    TFormHome(TJobListModel &jobs, TSettings &settings, QWidget *parent = nullptr);

    void FormShow();
    void FormClose();
    void ToolButtonMakeClick();
    void ToolButtonAddClick();
    void ToolButtonClipClick();
    void ToolButtonNo1Click();
    void ToolButtonNo2Click();
    void ToolButtonNo3Click();
    void Label1Click();
    void ToolButtonDivClick();
    void ToolButtonStopClick();
    void ToolButtonKairanClick();
    void DropURLTarget1Drop(const QString &url);
    // Pasted or dropped text: one URL the list can take goes into EditURL, several lines become a
    // job each; what is refused is shown with its reason.
    void TakeUrlText(const QString &text);
    // A "MAKE=" line of a list file; false when a number field is not a number.
    bool MakeFromRecord(const QString &url, const QString &start, const QString &end, const QString &length,
                        const QString &step);

    QToolBar *ToolBar1 = nullptr;
    QToolButton *ToolButtonMake = nullptr;
    QToolButton *ToolButtonStop = nullptr;
    QToolButton *ToolButtonAdd = nullptr;
    QToolButton *ToolButtonClip = nullptr;
    QToolButton *ToolButtonDiv = nullptr;
    QToolButton *ToolButtonKairan = nullptr;
    QToolButton *ToolButtonNo1 = nullptr;
    QToolButton *ToolButtonNo2 = nullptr;
    QToolButton *ToolButtonNo3 = nullptr;
    QLineEdit *EditURL = nullptr;
    QFrame *Panel1 = nullptr;
    QSpinBox *UDStart = nullptr; // each up-down and its edit are one control here
    QSpinBox *UDEnd = nullptr;
    QSpinBox *UDLength = nullptr;
    QSpinBox *UDStep = nullptr;
    QLabel *Label1 = nullptr;
    TTreeList *TreeList1 = nullptr;
    QFrame *Panel2 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    // Made at the first notice.
    TFormKairanban *FormKairanban = nullptr;

    // The window's one fetch: split probe, page fetch, notice.
    THomeFetch HomeFetch;

    // Page link import.
    void ButtonCliMakeClick();
    void TreeList1DblClick();
    void PopAllClearClick();
    void HeaderControl1SectionResize();
    void FetchPage(const QString &url);
    TLinkTreeModel *LinkTree = nullptr;
    QHeaderView *HeaderControl1 = nullptr; // the tree's own header
    QMenu *PopupMenu1 = nullptr;
    QAction *PopAllClear = nullptr;
    QPersistentModelIndex ImportParent; // none for a top-level import
    TAWKStr AWKStr1;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool EditURLDragEvent(QEvent *event);
    void AddUrls(const QStringList &urls);
    void TellRefusals(const QStringList &refused, int added);
    void MakeToolBar();
    void MakeNumberPanel();
    void MakeLinkTree(const QRect &geometry);
    void ConnectFetch();
    void SetFetchButtonsEnabled(bool enabled);
    void SetLampColour(const QColor &colour);
    void ApplyLayout(int width, int height, bool treeHeaderShown);

    TJobListModel &FJobs;
    TSettings &FSettings;
    bool FPlaced = false;
};
