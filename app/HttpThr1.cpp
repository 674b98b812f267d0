#include "app/HttpThr1.h"

#include "app/FormOpt1.h"
#include "app/TGridDelegate.h"
#include "app/TSoundPlayer.h"
#include "app/TStatusPanel.h"
#include "core/TIniFile.h"
#include "core/TJobListFile.h"
#include "core/TProgramFolder.h"
#include "core/Version.h"
#include "mail/FormMail.h"
#include "maker/FormHome1.h"
#include "resources/TDialogs.h"
#include "resources/TNotice.h"
#include "resources/TToolButtons.h"
#include "resources/TToolIcons.h"
#include "viewer/FormView1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>

namespace {

constexpr QRect InitialBounds(35, 31, 710, 402);
constexpr QSize SlotImageSize(92, 22);

QColor SlotColour(int state, const QColor &previous)
{
    switch (state) {
    case 0:
        return Qt::black;
    case 1:
        return QColor(0, 128, 0);
    case 2:
        return QColor(255, 0, 0);
    default:
        return previous;
    }
}

} // namespace

TFormMain::TFormMain(const TStartOptions &options, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                              | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , Scheduler(Jobs, Settings)
    , FOptions(options)
    , FSlotImage(SlotImageSize, QImage::Format_RGB32)
    , FSound(new TSoundPlayer(this))
{
    IniFileName = options.iniFile.isEmpty() ? TSettings::DefaultFileName() : options.iniFile;
    ProgramFolder = TProgramFolder::Resolve(options.folder);
    Scheduler.ProgramFolder = ProgramFolder;
    setGeometry(InitialBounds);
    MakeToolBar();
    MakeListView();
    MakePopupMenu();
    MakeStatusBar();
    FSlotImage.fill(palette().color(QPalette::Button));
    for (int slot = 0; slot < TScheduler::SlotCount; ++slot)
        PaintSlotState(slot, TScheduler::SlotNone);

    FormHome = new TFormHome(Jobs, Settings, this);
    FormOpt = new TFormOpt(Settings, this);
    connect(&FormHome->HomeFetch, &THomeFetch::HeadersReceived, FormOpt->MemoGHeader,
            [this](const QStringList &headers) {
                FormOpt->MemoGHeader->setPlainText(headers.join(QLatin1Char('\n')));
            });
    ConnectScheduler();
    MakeViewer();
    FormMail = new TFormPelmorMail(this);
    ConnectCommands();
    InstallDefaultDialogs();

    LoadList(DefaultListFile());
    setWindowTitle(QStringLiteral("ソラリト [デフォルト]"));
    MakeTray();
}

TFormMain::~TFormMain()
{
    // While the window is still whole: stopping the workers lets their last updates reach it.
    Scheduler.Shutdown();
    delete FormView;
}

void TFormMain::MakeToolBar()
{
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    TButtonNewList = TToolButtons::Add(ToolBar1, QStringLiteral("document-new"), QStringLiteral("新規作成"));
    TButtonOpen = TToolButtons::Add(ToolBar1, QStringLiteral("document-open"), QStringLiteral("リストを開く"));
    TButtonSave = TToolButtons::Add(ToolBar1, QStringLiteral("document-save"), QStringLiteral("リストの保存"));
    ToolBar1->addSeparator();
    TButtonSetUp = TToolButtons::Add(ToolBar1, QStringLiteral("pelmor-numbered-url"), QStringLiteral("ＵＲＬ指定"));
    ToolButtonFromClip = TToolButtons::Add(ToolBar1, QStringLiteral("edit-paste"),
                                           QStringLiteral("クリップボードのＵＲＬで、設定画面を開きます"));
    ToolBar1->addSeparator();
    TButtonCut = TToolButtons::Add(ToolBar1, QStringLiteral("edit-delete"),
                                   QStringLiteral("選択項目を削除（注意:ReadMe参照）"));
    TButtonReady = TToolButtons::Add(ToolBar1, QStringLiteral("pelmor-mark-ready"),
                                     QStringLiteral("選択項目を取得対象とする"));
    TButtonSkip = TToolButtons::Add(ToolBar1, QStringLiteral("pelmor-mark-skip"),
                                    QStringLiteral("選択項目を取得対象外とする"));
    TButtonAbort = TToolButtons::Add(ToolBar1, QStringLiteral("media-playback-stop"),
                                     QStringLiteral("選択中の項目をキャンセル"));
    ToolButtonUp = TToolButtons::Add(ToolBar1, QStringLiteral("go-up"),
                                     QStringLiteral("項目順をＵＰ（選択項目の先頭のみ、取得中項目は不可）"));
    ToolButtonDown = TToolButtons::Add(ToolBar1, QStringLiteral("go-down"),
                                       QStringLiteral("項目順をＤＯＷＮ（選択項目の最後尾のみ、取得中項目は不可）"));
    ToolBar1->addSeparator();
    TButtonGet = TToolButtons::Add(ToolBar1, QStringLiteral("media-playback-start"),
                                   QStringLiteral("取得タイマーＯｎ"));
    TButtonStop = TToolButtons::Add(ToolBar1, QStringLiteral("media-playback-pause"),
                                    QStringLiteral("取得タイマーＯｆｆ"));
    ToolButtonStop = TToolButtons::Add(ToolBar1, QStringLiteral("process-stop"), QStringLiteral("全処理の中止"));
    Image1 = new QLabel(ToolBar1);
    Image1->setFixedSize(SlotImageSize);
    Image1->setToolTip(QStringLiteral("作成したスレッドは開放しましせん"));
    ToolBar1->addWidget(Image1);
    ToolBar1->addSeparator();
    ToolButton6 = TToolButtons::Add(ToolBar1, QStringLiteral("image-x-generic"), QStringLiteral("画像表示"));
    ToolButtonEnv = TToolButtons::Add(ToolBar1, QStringLiteral("preferences-system"), QStringLiteral("オプション設定"));
    ToolButtonMail = TToolButtons::Add(ToolBar1, QStringLiteral("mail-send"), QStringLiteral("ピルカの出荷"));
    ToolButtonHomePage = TToolButtons::Add(ToolBar1, QStringLiteral("go-home"), QStringLiteral("ノルビスへ行く"));
    ImageLogo = new QLabel(ToolBar1);
    ImageLogo->setPixmap(TToolIcons::ProgramIcon().pixmap(24, 24));
    ImageLogo->setToolTip(QStringLiteral("今後とも御愛用よろしくお願いします"));
    ToolBar1->addWidget(ImageLogo);

    ImageLogo->installEventFilter(this);
}

void TFormMain::ConnectScheduler()
{
    connect(&Scheduler, &TScheduler::SlotStateChanged, this, &TFormMain::PaintSlotState);
    connect(&Scheduler, &TScheduler::StatusBarText, this,
            [this](const QString &text) { StatusPanels[1]->SetMessage(text); });
    connect(&Scheduler, &TScheduler::HistoryProblem, this,
            [this](const QString &text) { StatusPanels[1]->SetMessage(text); });
    connect(&Scheduler, &TScheduler::HeadersReceived, this, [this](int code, const QStringList &headers) {
        if (FormOpt->isVisible())
            (code == THTTPThread::UpdateHeadHeaders ? FormOpt->ResultsMemo : FormOpt->MemoGHeader)
                ->setPlainText(headers.join(QLatin1Char('\n')));
    });
    connect(&Scheduler, &TScheduler::WorkFinished, this, [this] {
        if (Settings.Sound2 == 1)
            FSound->PlayEndSound();
    });
    connect(FormOpt->CheckBoxHead, &QCheckBox::toggled, this, [this](bool on) { Scheduler.HeadCommand = on; });
    connect(&Scheduler, &TScheduler::Ticked, this, &TFormMain::SwapTrayIcon);
    connect(&Scheduler, &TScheduler::FetchingChanged, this, [this](bool on) {
        if (!on)
            SetTrayPicture(false);
    });
}

void TFormMain::MakeListView()
{
    ListViewMon = new QTreeView(this);
    ListViewMon->setModel(&Jobs);
    ListViewMon->setItemDelegate(new TGridDelegate(ListViewMon));
    ListViewMon->setRootIsDecorated(false);
    ListViewMon->setUniformRowHeights(true);
    ListViewMon->setItemsExpandable(false);
    ListViewMon->setAllColumnsShowFocus(true);
    ListViewMon->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewMon->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewMon->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewMon->setIconSize(QSize(16, 16));
    // Keep the selection as visible when the list loses focus.
    QPalette palette = ListViewMon->palette();
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    ListViewMon->setPalette(palette);
    QHeaderView *header = ListViewMon->header();
    header->setMinimumSectionSize(1);
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    // A cell's text keeps the style's focus margin on either side.
    const int margins = 2 * (ListViewMon->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ListViewMon) + 1);
    const QList<int> widths = TJobListModel::FittedColumnWidths(QFontMetricsF(ListViewMon->font()), margins);
    for (int column = 0; column < widths.size(); ++column)
        header->resizeSection(column, widths[column]);
    header->setSectionsClickable(true);
    ListViewMon->setToolTip(
        QStringLiteral("URLをドロップすると、設定画面を表示します。ファイルを他ソフトにドラッグドロップできます。"));
    ListViewMon->viewport()->setAcceptDrops(true);
    // A press on a selected row keeps the selection until the release, so that all the selected
    // rows' files can be dragged out; the drag itself is the window's own (the rows offer none).
    ListViewMon->setDragEnabled(true);
    ListViewMon->viewport()->installEventFilter(this);
    // The Delete key does what the bin button does.
    ListViewMon->installEventFilter(this);
    setCentralWidget(ListViewMon);
}

void TFormMain::MakePopupMenu()
{
    PopupMenu1 = new QMenu(this);
    PopOpen = PopupMenu1->addAction(QStringLiteral("拡張子で開く（選択された先頭項目のみ）"));
    PopOpen->setToolTip(QStringLiteral("選択された項目の先頭を開きます"));
    PopFileDelete = PopupMenu1->addAction(QStringLiteral("ファイルを削除（選択された項目すべて）"));
    PopupMenu1->addSeparator();
    PopURLOk = PopupMenu1->addAction(QStringLiteral("ＵＲＬをドロップ"));
    PopWSTOk = PopupMenu1->addAction(QStringLiteral("ファイルをドロップ"));
    PopURLOk->setCheckable(true);
    PopWSTOk->setCheckable(true);
    PopURLOk->setChecked(true);
    PopupMenu1->addSeparator();
    PopMarge = PopupMenu1->addAction(QStringLiteral("選択ファイルをマージする"));
    PopSelectAll = PopupMenu1->addAction(QStringLiteral("全項目の選択"));
    PopupMenu1->setToolTipsVisible(true);
    ListViewMon->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListViewMon, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(ListViewMon->viewport()->mapToGlobal(at)); });
}

void TFormMain::MakeStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setSizeGripEnabled(false);
    bar->setToolTip(QStringLiteral("最新バージョンは回覧版で確認できます"));
    const int widths[3] = {60, 150, 100};
    for (int i = 0; i < 3; ++i) {
        StatusPanels[i] = new TStatusPanel(bar);
        StatusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    StatusPanels[0]->SetMessage(QString::fromLatin1(PelmorVersionText));
    // Wide enough for the version text in whatever font the desktop uses.
    StatusPanels[0]->setFixedWidth(std::max(widths[0], StatusPanels[0]->sizeHint().width()));
    StatusPanels[1]->setFixedWidth(widths[1]);
    StatusPanels[1]->setAlignment(Qt::AlignCenter);
    // The last panel takes the rest of the bar, so that a command's result is read whole.
    StatusPanels[2]->setMinimumWidth(widths[2]);
    for (int i = 0; i < 3; ++i)
        bar->addWidget(StatusPanels[i], i == 2 ? 1 : 0);
}

void TFormMain::PaintSlotState(int slot, int state)
{
    if (slot < 0 || slot >= TScheduler::SlotCount)
        return;
    // An unknown state keeps the colour the slot was painted with.
    const QColor previous = FSlotImage.pixelColor(10 * slot + 1, 2);
    QPainter painter(&FSlotImage);
    painter.fillRect(QRect(QPoint(10 * slot + 1, 2), QPoint(10 * slot + 10, 20)), SlotColour(state, previous));
    painter.end();
    Image1->setPixmap(QPixmap::fromImage(FSlotImage));
}

void TFormMain::FormShow()
{
    if (FSettingsRead)
        return;
    FSettingsRead = true;
    Settings.Load(TIniFile(IniFileName));
    const TWindowBounds &b = Settings.Window;
    setGeometry(b.left, b.top, b.width, b.height);
    // Earlier versions wrote their unscaled design widths on every close: those are no user's choice.
    if (b.columns != TJobListModel::ColumnWidths()) {
        QHeaderView *header = ListViewMon->header();
        for (int column = 0; column < std::min(int(b.columns.size()), header->count()); ++column)
            header->resizeSection(column, b.columns[column]);
    }

    const TProgramFolder::TTmpState tmp = TProgramFolder::PrepareTmp(ProgramFolder);
    switch (tmp) {
    case TProgramFolder::TTmpState::Created:
        ShowMessage(QStringLiteral("tmp フォルダにファイルが保存されます。"));
        break;
    case TProgramFolder::TTmpState::Failed:
        ShowMessage(QStringLiteral("tmp フォルダを作成できません: ") + ProgramFolder + QStringLiteral("/tmp"));
        break;
    case TProgramFolder::TTmpState::Existed:
        break;
    }
    if (tmp != TProgramFolder::TTmpState::Failed && !TmpLock.Take(ProgramFolder))
        RefuseFolder();
}

void TFormMain::RefuseFolder()
{
    TDialogs::Ask(this, QMessageBox::Critical, windowTitle(),
                  QStringLiteral("別の pelmor (プロセス %1) が tmp フォルダを使っています。終了します。\n%2/tmp")
                      .arg(TmpLock.HolderPid())
                      .arg(ProgramFolder),
                  QMessageBox::Ok);
    FolderRefused = true;
}

void TFormMain::FormClose()
{
    // The list and settings of a start that was refused are nobody's to keep.
    if (FolderRefused)
        return;
    Scheduler.Shutdown();
    // A fetch of the Home window would otherwise hold the program open until its server answers.
    FormHome->HomeFetch.AbortForClose();
    const QRect bounds = normalGeometry();
    QList<int> columns;
    for (int column = 0; column < ListViewMon->header()->count(); ++column)
        columns.append(ListViewMon->header()->sectionSize(column));
    Settings.Window = {bounds.top(), bounds.left(), bounds.width(), bounds.height(), columns};
    // Read the file again so that keys written by others survive.
    TIniFile ini(IniFileName);
    Settings.Save(ini);
    QString error;
    if (!ini.UpdateFile(&error))
        TDialogs::Ask(this, QMessageBox::Warning, windowTitle(), QStringLiteral("設定を保存できません: ") + error,
                      QMessageBox::Ok);
    if (!TJobListFile::SaveList(Jobs, DefaultListFile(), &error))
        TDialogs::Ask(this, QMessageBox::Warning, windowTitle(), QStringLiteral("リストを保存できません: ") + error,
                      QMessageBox::Ok);
    if (TrayIcon)
        TrayIcon->hide();
    // The workers are stopped and the list saved: another run may use the folder now.
    TmpLock.Release();
}

void TFormMain::TButtonSetUpClick()
{
    FormHome->show();
    FormHome->raise();
}

void TFormMain::ToolButtonEnvClick()
{
    TDialogs::KeepAbove(FormOpt);
    FormOpt->show();
    FormOpt->raise();
}

void TFormMain::TButtonGetClick()
{
    ToolButtonHomePage->setEnabled(false);
    PopOpen->setEnabled(false);
    // The cookie file and .netrc are read afresh for each start, so an edited one counts at once.
    if (const QStringList warnings = Scheduler.LoadRunFiles(); !warnings.isEmpty())
        SetStatus(warnings.join(QLatin1Char(' ')));
    Scheduler.TButtonGetClick();
}

void TFormMain::TButtonAbortClick()
{
    Scheduler.AbortRows(SelectedRows());
}

QList<int> TFormMain::SelectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : ListViewMon->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TFormMain::SetStatus(const QString &text)
{
    StatusPanels[2]->SetMessage(text);
}

void TFormMain::ShowMessage(const QString &text)
{
    TNotice::Show(this, QMessageBox::Information, text);
}

void TFormMain::showEvent(QShowEvent *event)
{
    FormShow();
    QMainWindow::showEvent(event);
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    FormClose();
    QMainWindow::closeEvent(event);
}
