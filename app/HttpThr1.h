#pragma once

#include "app/TStartOptions.h"
#include "core/TJobListModel.h"
#include "core/TScheduler.h"
#include "core/TSettings.h"
#include "core/TTmpLock.h"
#include "resources/TFileDrag.h"

#include <QMainWindow>

#include <array>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QMouseEvent;
class QSystemTrayIcon;
class QToolBar;
class QToolButton;
class QTreeView;
class TFormHome;
class TFormOpt;
class TFormPelmorMail;
class TFormView;
class TSoundPlayer;
class TStatusPanel;

// The main window: the job list with its commands, toolbar, status bar and tray entry, and the
// settings. Its handlers live in HttpThr1*.cpp by theme.
class TFormMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFormMain(const TStartOptions &options, QWidget *parent = nullptr);
    ~TFormMain() override;

    void FormShow();
    void FormClose();
    // Another run holds the program folder's tmp: says so; the program then ends.
    void RefuseFolder();
    void TButtonSetUpClick();
    void ToolButtonEnvClick();
    void TButtonGetClick();
    void TButtonAbortClick();
    // Paints a worker slot's square on Image1: black none, dark green idle, red busy.
    void PaintSlotState(int slot, int state);

    // List commands.
    void TButtonNewListClick();
    void TButtonCutClick();
    void TButtonReadyClick();
    void TButtonSkipClick();
    void ToolButtonUpClick();
    void ToolButtonDownClick();
    void ToolButtonFromClipClick();
    void ListViewMonColumnClick(int column);
    void PopOpenClick();
    void PopFileDeleteClick();
    void PopSelectAllClick();
    void SetDropMode(bool urls);
    void DropURLTarget1Drop(const QString &url);
    QList<int> SelectedRows() const;

    // List files.
    void TButtonOpenClick();
    void TButtonSaveClick();
    void PopMargeClick();
    void DropFileTarget1Drop(const QStringList &files);
    // False when the file could not be read or was refused (the user has been told).
    bool LoadList(const QString &fileName);
    void SetListFileName(const QString &name);
    QString DefaultListFile() const;

    // Program shell.
    void ToolButtonHomePageClick();
    // The feedback mail window, pointed at the mail settings of the moment.
    void ToolButtonMailClick();
    void ShowFromTray();
    // The tray shows the busy picture only while fetching is on, every other tick.
    bool TrayShowsBusyPicture() const { return FTrayBusyPicture; }

    // Questions and file choices go through these, so that they can be answered without a person.
    std::function<bool(const QString &text, const QString &caption)> Confirm;
    std::function<QString(const QString &caption, const QString &name, const QString &filters, QString *selectedFilter)>
        ChooseSaveFile;
    std::function<QString(const QString &caption, const QString &name, const QString &filters)> ChooseOpenFile;
    // Files dragged out of the list go through this, so that a drag can be seen without a desktop.
    std::function<void(const QStringList &files)> StartDrag = [this](const QStringList &files) {
        TFileDrag::OfferCopy(this, files);
    };

    TJobListModel Jobs;
    TSettings Settings;
    TScheduler Scheduler;
    QString IniFileName;
    QString ProgramFolder;
    // Held while the window runs: no batch run may fetch into its tmp meanwhile.
    TTmpLock TmpLock;
    // The first showing found tmp held by another run: this start fetches and saves nothing.
    bool FolderRefused = false;
    QString ListFileName;

    QToolBar *ToolBar1 = nullptr;
    QToolButton *TButtonNewList = nullptr;
    QToolButton *TButtonOpen = nullptr;
    QToolButton *TButtonSave = nullptr;
    QToolButton *TButtonSetUp = nullptr;
    QToolButton *ToolButtonFromClip = nullptr;
    QToolButton *TButtonCut = nullptr;
    QToolButton *TButtonReady = nullptr;
    QToolButton *TButtonSkip = nullptr;
    QToolButton *TButtonAbort = nullptr;
    QToolButton *ToolButtonUp = nullptr;
    QToolButton *ToolButtonDown = nullptr;
    QToolButton *TButtonGet = nullptr;
    QToolButton *TButtonStop = nullptr;
    QToolButton *ToolButtonStop = nullptr;
    QLabel *Image1 = nullptr;
    QToolButton *ToolButton6 = nullptr;
    QToolButton *ToolButtonEnv = nullptr;
    QToolButton *ToolButtonMail = nullptr;
    QToolButton *ToolButtonHomePage = nullptr;
    QLabel *ImageLogo = nullptr;
    QTreeView *ListViewMon = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *PopOpen = nullptr;
    QAction *PopFileDelete = nullptr;
    QAction *PopURLOk = nullptr;
    QAction *PopWSTOk = nullptr;
    QAction *PopMarge = nullptr;
    QAction *PopSelectAll = nullptr;
    std::array<TStatusPanel *, 3> StatusPanels{};
    QSystemTrayIcon *TrayIcon = nullptr;
    QMenu *PopupMenuTray = nullptr;
    TFormHome *FormHome = nullptr;
    TFormOpt *FormOpt = nullptr;
    TFormView *FormView = nullptr;
    TFormPelmorMail *FormMail = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void MakeToolBar();
    void MakeListView();
    void MakePopupMenu();
    void MakeStatusBar();
    void MakeTray();
    void ConnectScheduler();
    // The picture viewer: made hidden, fed by the list, the workers and the monitor.
    void MakeViewer();
    void ConnectCommands();
    void InstallDefaultDialogs();
    void ShowMessage(const QString &text);
    void SetStatus(const QString &text);
    void SwapTrayIcon();
    void SetTrayPicture(bool busy);
    bool ListViewDragEvent(QEvent *event);
    bool ListViewMouseEvent(QEvent *event);
    bool LogoMouseEvent(QEvent *event);
    // No key held and the mouse moved far enough from where its button went down.
    static bool IsDragMove(const QPoint &pressed, const QMouseEvent &mouse);
    void SelectOnly(int row);
    void MoveSelected(bool up);

    TStartOptions FOptions;
    bool FSettingsRead = false;
    QImage FSlotImage;
    TSoundPlayer *FSound = nullptr;
    bool FDropUrls = true;
    QPoint FPressPosition;
    QPoint FLogoPressPosition;
    bool FTrayBusyPicture = false;
};
