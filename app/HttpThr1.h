#pragma once

#include "TJobListModel.h"
#include "TScheduler.h"
#include "TSettings.h"
#include "TStartOptions.h"

#include <QMainWindow>

#include <array>

class QLabel;
class QToolBar;
class QToolButton;
class QTreeView;
class TFormHome;
class TFormOpt;
class TSoundPlayer;

// The main window: the job list, its toolbar and status bar, and the settings.
class TFormMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFormMain(const TStartOptions &options, QWidget *parent = nullptr);
    ~TFormMain() override;

    void FormShow();
    void FormClose();
    void TButtonSetUpClick();
    void ToolButtonEnvClick();
    void TButtonGetClick();
    void TButtonAbortClick();
    // Paints a worker slot's square on Image1: black none, dark green idle, red busy.
    void PaintSlotState(int slot, int state);

    TJobListModel Jobs;
    TSettings Settings;
    TScheduler Scheduler;
    QString IniFileName;
    QString ProgramFolder;

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
    std::array<QLabel *, 3> StatusPanels{};
    TFormHome *FormHome = nullptr;
    TFormOpt *FormOpt = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void MakeToolBar();
    void MakeListView();
    void MakeStatusBar();
    void ConnectScheduler();
    void ShowMessage(const QString &text);

    TStartOptions m_options;
    bool m_settingsRead = false;
    QImage m_slotImage;
    TSoundPlayer *m_sound = nullptr;
};
