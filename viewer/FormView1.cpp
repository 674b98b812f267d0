#include "viewer/FormView1.h"

#include "core/Brdcast.h"
#include "core/CaughtText.h"
#include "core/THandOver.h"
#include "core/sharedmm.h"
#include "resources/TNotice.h"
#include "resources/TToolButtons.h"
#include "resources/TToolIcons.h"
#include "viewer/FormViewIcons.h"
#include "viewer/SPIs.h"
#include "viewer/TPicture.h"
#include "viewer/TViewLogic.h"
#include "viewer/TViewSurface.h"
#include "viewer/ViewerLog.h"
#include "viewer/bmpRot.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace {

constexpr QSize InitialSize(487, 481);

bool OpenWithDesktop(const QString &Path, bool IsProgram)
{
    if (IsProgram)
        return QProcess::startDetached(Path, {});
    return QDesktopServices::openUrl(QUrl::fromLocalFile(Path));
}

} // namespace

TFormView::TFormView(TViewerHost Host, QWidget *parent, const QString &HandOverName)
    : QMainWindow(parent), ShellOpen(OpenWithDesktop), FHost(std::move(Host))
{
    setWindowTitle(QStringLiteral("PreView"));
    // A window of its own: it does not take the main window's icon from a parent.
    setWindowIcon(TToolIcons::ProgramIcon());
    setToolTip(QStringLiteral("他ソフトにドラッグドロップできます"));
    resize(InitialSize);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect bounds(QPoint(), InitialSize);
        bounds.moveCenter(screen->availableGeometry().center());
        move(bounds.topLeft());
    }
    MakeToolBar();
    MakeScrollBox();
    MakeCatalogue();
    StartDrag = [this](const QStringList &Files) { OfferFiles(Files); };

    // The decoders found beside the program or in the Susie folder extend the picture formats. Only
    // one collection may exist: when another already serves the process, the viewer uses that one.
    try {
        SPIs1 = MakeViewerDecoders();
    } catch (const std::exception &e) {
        qCWarning(lcViewer, "the decoder plug-ins were not loaded: %s", e.what());
    }
    StartHandOver(HandOverName.isEmpty() ? THandOver::DefaultName() : HandOverName);
}

TFormView::~TFormView()
{
    // The catalogue holds pointers into this window's lists.
    delete FormIcons;
}

void TFormView::MakeToolBar()
{
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    SpeedButtonBf = TToolButtons::Add(ToolBar1, QStringLiteral("go-previous"), QStringLiteral("前項目"));
    SpeedButtonNext = TToolButtons::Add(ToolBar1, QStringLiteral("go-next"), QStringLiteral("次項目"));
    SpeedButtonIcons = TToolButtons::Add(ToolBar1, QStringLiteral("pelmor-thumbnails"),
                                         QStringLiteral("リスト表示項目のサムネール表示"));
    SpeedButtonStop = TToolButtons::Add(ToolBar1, QStringLiteral("process-stop"),
                                        QStringLiteral("サムネール作成処理の中止"));
    SpeedButtonZoom = TToolButtons::Add(ToolBar1, QStringLiteral("zoom-fit-best"), QStringLiteral("ズーム表示"));
    SpeedButtonJitsu = TToolButtons::Add(ToolBar1, QStringLiteral("zoom-original"),
                                         QStringLiteral("実寸表示。右クリックドラッグでスクロールできます。"));
    SpeedButtonCRotate = TToolButtons::Add(ToolBar1, QStringLiteral("object-rotate-left"), QStringLiteral("左回転"));
    SpeedButtonRotate = TToolButtons::Add(ToolBar1, QStringLiteral("object-rotate-right"), QStringLiteral("右回転"));
    SpeedButtonFileList = TToolButtons::Add(ToolBar1, QStringLiteral("pelmor-file-list"),
                                            QStringLiteral("ファイル一覧の表示"));
    SpeedButtonTopForm = TToolButtons::Add(ToolBar1, QStringLiteral("go-top"),
                                           QStringLiteral("メインフォームを前面に移動"));
    SpeedButtonStop->setEnabled(false);
    MakeProgressBars();

    connect(SpeedButtonBf, &QToolButton::clicked, this, &TFormView::SpeedButtonBfClick);
    connect(SpeedButtonNext, &QToolButton::clicked, this, &TFormView::SpeedButtonNextClick);
    connect(SpeedButtonIcons, &QToolButton::clicked, this, &TFormView::SpeedButtonIconsClick);
    connect(SpeedButtonStop, &QToolButton::clicked, this, &TFormView::SpeedButtonStopClick);
    connect(SpeedButtonZoom, &QToolButton::clicked, this, &TFormView::SpeedButtonZoomClick);
    connect(SpeedButtonJitsu, &QToolButton::clicked, this, &TFormView::SpeedButtonJitsuClick);
    connect(SpeedButtonCRotate, &QToolButton::clicked, this, &TFormView::SpeedButtonCRotateClick);
    connect(SpeedButtonRotate, &QToolButton::clicked, this, &TFormView::SpeedButtonRotateClick);
    connect(SpeedButtonFileList, &QToolButton::clicked, this, &TFormView::SpeedButtonFileListClick);
    connect(SpeedButtonTopForm, &QToolButton::clicked, this, &TFormView::SpeedButtonTopFormClick);
}

void TFormView::MakeProgressBars()
{
    for (size_t k = 0; k < PBar.size(); ++k) {
        auto *bar = new QProgressBar(ToolBar1);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        if (k == 0) {
            bar->setOrientation(Qt::Horizontal);
            bar->setFixedSize(80, 14);
        } else {
            bar->setOrientation(Qt::Vertical);
            bar->setFixedSize(6, 22);
        }
        bar->setObjectName(QStringLiteral("PBar%1").arg(k));
        ToolBar1->addWidget(bar);
        PBar[k] = bar;
    }
}

void TFormView::MakeScrollBox()
{
    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setWidgetResizable(true);
    ImageBig = new TViewSurface;
    ScrollBox1->setWidget(ImageBig);
    ImageBig->installEventFilter(this);
    setCentralWidget(ScrollBox1);
    // Above the scroll box, centred in the window while thumbnails are made.
    ImageIcon = new QLabel(this);
    ImageIcon->setFixedSize(TIconList::Width, TIconList::Height);
    ImageIcon->hide();
}

void TFormView::MakeCatalogue()
{
    // Its own window, as the viewer is; the viewer owns it.
    FormIcons = new TFormIcons;
    FormIcons->setAttribute(Qt::WA_QuitOnClose, false);
    FormIcons->ImageListIcons = &ImageListIcons;
    FormIcons->ListBoxIcon = &ListBoxIcon;
    FormIcons->OnShowFile = [this](const QString &Path) {
        FThumbnailMode = false;
        ShowFile(Path);
    };
    FormIcons->ListFileName = [this] { return FHost.ListFileName ? FHost.ListFileName() : QString(); };
}

void TFormView::StartHandOver(const QString &Name)
{
    // Without the shared block a hand-over reads an empty name; the viewer works on without it.
    try {
        SMM1 = std::make_unique<TSharedMemory>();
        SMM1->SetBlockSize(THandOver::BlockSize);
        SMM1->SetBlockName(Name);
    } catch (const ESharedMemory &e) {
        qCWarning(lcViewer, "no shared block for hand-overs: %s", e.what());
        SMM1.reset();
    }
    BC1 = new TBroadcast(this);
    BC1->EnableInput = true;
    BC1->EnableOutput = false;
    BC1->OnBroadcastMsg = [this](TBroadcast *) { BC1BroadcastMsg(); };
    BC1->SetKey(Name);
}

void TFormView::ShowFile(const QString &Path)
{
    try {
        FImageSmall = LoadPicture(Path);
        FCurrentFile = Path;
        setWindowTitle(Path);
        if (FThumbnailMode) {
            if (AddIcon())
                ListBoxIcon.append(Path);
            return;
        }
        Redraw();
        FormResize();
        if (FormIcons->isVisible())
            AddToCatalogue();
    } catch (...) {
        // A file that cannot be shown leaves no picture, and no message.
        qCWarning(lcViewer, "%s cannot be shown: %s", qUtf8Printable(Path), qUtf8Printable(CaughtText()));
        FImageSmall = QImage();
    }
}

void TFormView::ShowJob(int Index)
{
    if (!FHost.JobCount || Index < 0 || Index >= FHost.JobCount())
        return;
    const QString path = FHost.JobFile(Index);
    if (!path.isEmpty())
        ShowFile(path);
}

void TFormView::Redraw()
{
    if (FImageSmall.isNull())
        return;
    ImageBig->SetPicture(FImageSmall);
    if (FActualSize) {
        ScrollBox1->setWidgetResizable(false);
        ImageBig->resize(FImageSmall.size());
    } else {
        ScrollBox1->setWidgetResizable(true);
    }
}

void TFormView::FormResize()
{
    Redraw();
    ImageIcon->move(TViewLogic::CentredTopLeft(size(), ImageIcon->size()));
}

void TFormView::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TFormView::closeEvent(QCloseEvent *event)
{
    // The viewer lives as long as the program; closing it only hides it.
    event->ignore();
    hide();
}

void TFormView::Step(bool forward)
{
    if (!FHost.JobCount)
        return;
    const int first = FHost.FirstSelectedRow();
    const auto step = forward ? TViewLogic::NextStep(FHost.JobCount(), first)
                              : TViewLogic::PreviousStep(FHost.JobCount(), first);
    if (!step)
        return;
    FHost.SetRowSelected(step->Deselect, false);
    FHost.SetRowSelected(step->Target, true);
    FThumbnailMode = false;
    ShowJob(step->Target);
}

void TFormView::SpeedButtonBfClick()
{
    Step(false);
}
void TFormView::SpeedButtonNextClick()
{
    Step(true);
}
void TFormView::SpeedButtonStopClick()
{
    FStopRequest = true;
}

void TFormView::SpeedButtonZoomClick()
{
    FActualSize = false;
    Redraw();
    FormResize();
}

void TFormView::SpeedButtonJitsuClick()
{
    FActualSize = true;
    Redraw();
    FormResize();
}

void TFormView::Rotate(void (*Turn)(QImage &))
{
    if (FImageSmall.isNull())
        return;
    try {
        // Turned as the screen shows it: transparent parts on the surface's white.
        QImage working(FImageSmall.size(), QImage::Format_RGB32);
        working.fill(Qt::white);
        QPainter(&working).drawImage(0, 0, FImageSmall);
        Turn(working);
        FImageSmall = working;
        Redraw();
        FormResize();
    } catch (...) {
        qCWarning(lcViewer, "the picture could not be turned: %s", qUtf8Printable(CaughtText()));
    }
}

void TFormView::SpeedButtonCRotateClick()
{
    Rotate(RotateLeft);
}
void TFormView::SpeedButtonRotateClick()
{
    Rotate(RotateRight);
}

void TFormView::SpeedButtonFileListClick()
{
    const TViewLogic::TFileManagerTarget target =
        TViewLogic::FileManagerTarget(FHost.ProgramFolder ? FHost.ProgramFolder() : QString());
    if (ShellOpen && ShellOpen(target.Path, target.IsProgram))
        return;
    TNotice::Show(this, QMessageBox::Information, QStringLiteral("起動できませんでした。"));
}

void TFormView::SpeedButtonTopFormClick()
{
    if (!MainForm)
        return;
    MainForm->raise();
    MainForm->activateWindow();
}

void TFormView::BC1BroadcastMsg()
{
    if (FBroadcastBusy || !isVisible())
        return;
    FBroadcastBusy = true;
    QCoreApplication::processEvents();
    const QString text = SMM1 ? THandOver::FileNameIn(*SMM1) : QString();
    if (TViewLogic::IsCatalogueFile(text)) {
        if (FormIcons->isVisible()) {
            FormIcons->LoadCatalogue(text);
            FormIcons->SetCaption(text);
        }
    } else {
        ShowFile(text);
    }
    FBroadcastBusy = false;
}

void TFormView::SetProgress(const std::array<int, 10> &Workers, int Overall)
{
    for (size_t k = 0; k < Workers.size(); ++k)
        PBar[k + 1]->setValue(Workers[k]);
    PBar[0]->setValue(Overall);
}
