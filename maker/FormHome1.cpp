#include "maker/FormHome1.h"

#include "core/TJobListModel.h"
#include "core/TSettings.h"
#include "core/TUrlEntry.h"
#include "maker/MakeSequence.h"
#include "maker/TreeList.h"
#include "resources/TFileDrag.h"
#include "resources/TNotice.h"
#include "resources/TToolButtons.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

namespace {

// Design positions of the window's controls (client area 547 x 242).
constexpr QRect ToolBarRect(0, 0, 273, 26);
constexpr QRect EditURLRect(4, 28, 265, 17);
constexpr QRect Panel1Rect(280, 4, 265, 41);
constexpr QRect HeaderRect(0, 48, 545, 17);
constexpr QRect TreeRect(0, 64, 545, 157);
constexpr int StatusBarHeight = 17;
// The layouts are given as outer window sizes; the title bar and borders of a fixed single frame
// take this much of them, so the client areas below show exactly the same controls.
constexpr QSize FrameAllowance(6, 22);

QSpinBox *UpDown(int minimum, int maximum, int initial)
{
    auto *upDown = new QSpinBox;
    upDown->setRange(minimum, maximum);
    upDown->setValue(initial);
    upDown->setWrapping(false);
    return upDown;
}

} // namespace

TFormHome::TFormHome(TJobListModel &jobs, TSettings &settings, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , HomeFetch(jobs, settings)
    , FJobs(jobs)
    , FSettings(settings)
{
    setWindowTitle(QStringLiteral("Home"));
    MakeToolBar();

    EditURL = new QLineEdit(QStringLiteral("http://"), this);
    EditURL->setGeometry(EditURLRect);
    EditURL->setAttribute(Qt::WA_InputMethodEnabled, false);
    EditURL->setToolTip(QStringLiteral("http://を含めて、ＵＲＬを入力して下さい。また、URLをドロップできます。"));
    EditURL->installEventFilter(this);

    MakeNumberPanel();

    MakeLinkTree(HeaderRect.united(TreeRect));

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    Panel2 = new QFrame;
    Panel2->setFixedSize(10, StatusBarHeight - 2);
    Panel2->setAutoFillBackground(true);
    Panel2->setToolTip(QStringLiteral("ﾘﾝｸのｲﾝﾎﾟｰﾄ状態"));
    StatusBar1->addWidget(Panel2);
    SetLampColour(Qt::black);
    ConnectFetch();

    ToolButtonNo1Click();
}

void TFormHome::MakeToolBar()
{
    ToolBar1 = new QToolBar(this);
    ToolBar1->setGeometry(ToolBarRect);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setMovable(false);
    ToolButtonMake = TToolButtons::Add(
        ToolBar1, QStringLiteral("pelmor-numbered-url"),
        QStringLiteral("ＵＲＬを指定して下さい。ﾍﾟｰｼﾞを指定するとﾘﾝｸをｲﾝﾎﾟｰﾄします。$ﾏｰｸは数字で展開します。"));
    ToolButtonStop = TToolButtons::Add(ToolBar1, QStringLiteral("process-stop"), QStringLiteral("処理の中止"));
    ToolButtonAdd = TToolButtons::Add(ToolBar1, QStringLiteral("list-add"), QStringLiteral("リストビューに追加する"));
    ToolButtonClip = TToolButtons::Add(ToolBar1, QStringLiteral("edit-paste"),
                                       QStringLiteral("クリップボードから貼り付ける"));
    ToolButtonDiv = TToolButtons::Add(ToolBar1, QStringLiteral("pelmor-split"),
                                      QStringLiteral("分割ダウンロード（１２分割）"));
    ToolBar1->addSeparator();
    ToolButtonKairan = TToolButtons::Add(ToolBar1, QStringLiteral("dialog-information"),
                                         QStringLiteral("回覧版を表示する"));
    ToolBar1->addSeparator();
    ToolButtonNo1 = TToolButtons::Add(ToolBar1, QStringLiteral("pelmor-layout-small"),
                                      QStringLiteral("小さいフォーム"));
    ToolButtonNo2 = TToolButtons::Add(ToolBar1, QStringLiteral("pelmor-layout-numbers"),
                                      QStringLiteral("番号作成フォーム"));
    ToolButtonNo3 = TToolButtons::Add(ToolBar1, QStringLiteral("pelmor-layout-links"),
                                      QStringLiteral("リンク一覧表示フォーム"));

    connect(ToolButtonMake, &QToolButton::clicked, this, &TFormHome::ToolButtonMakeClick);
    connect(ToolButtonAdd, &QToolButton::clicked, this, &TFormHome::ToolButtonAddClick);
    connect(ToolButtonClip, &QToolButton::clicked, this, &TFormHome::ToolButtonClipClick);
    connect(ToolButtonDiv, &QToolButton::clicked, this, &TFormHome::ToolButtonDivClick);
    connect(ToolButtonStop, &QToolButton::clicked, this, &TFormHome::ToolButtonStopClick);
    connect(ToolButtonKairan, &QToolButton::clicked, this, &TFormHome::ToolButtonKairanClick);
    connect(ToolButtonNo1, &QToolButton::clicked, this, &TFormHome::ToolButtonNo1Click);
    connect(ToolButtonNo2, &QToolButton::clicked, this, &TFormHome::ToolButtonNo2Click);
    connect(ToolButtonNo3, &QToolButton::clicked, this, &TFormHome::ToolButtonNo3Click);
}

void TFormHome::MakeNumberPanel()
{
    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(Panel1Rect);
    UDStart = UpDown(0, MakeSequence::NumberMax, 1);
    UDEnd = UpDown(0, MakeSequence::NumberMax, 52);
    UDLength = UpDown(0, MakeSequence::LengthMax, 2);
    UDStep = UpDown(MakeSequence::StepMin, MakeSequence::StepMax, 1);

    Label1 = new QLabel(QStringLiteral("＄"));
    // Palette and font rather than a style sheet, which its tool tip would take on as well.
    QPalette aqua = Label1->palette();
    aqua.setColor(QPalette::WindowText, QColor(0, 255, 255));
    Label1->setPalette(aqua);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->setToolTip(QStringLiteral("クリックすると＄を入力"));
    Label1->installEventFilter(this);

    auto *grid = new QGridLayout(Panel1);
    grid->setContentsMargins(2, 0, 2, 1);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(0);
    grid->addWidget(Label1, 0, 0, 2, 1);
    const QStringList captions{"Start", "End", "Length", "Step"};
    const QList<QSpinBox *> fields{UDStart, UDEnd, UDLength, UDStep};
    for (int i = 0; i < fields.size(); ++i) {
        auto *caption = new QLabel(captions[i]);
        QFont small = caption->font();
        small.setPixelSize(10);
        caption->setFont(small);
        grid->addWidget(caption, 0, i + 1);
        grid->addWidget(fields[i], 1, i + 1);
    }
}

void TFormHome::SetLampColour(const QColor &colour)
{
    QPalette palette = Panel2->palette();
    palette.setColor(QPalette::Window, colour);
    Panel2->setPalette(palette);
}

void TFormHome::ApplyLayout(int width, int height, bool treeHeaderShown)
{
    const QSize client = QSize(width, height) - FrameAllowance;
    TreeList1->setHeaderHidden(!treeHeaderShown);
    setFixedSize(client);
    StatusBar1->setGeometry(0, client.height() - StatusBarHeight, client.width(), StatusBarHeight);
    StatusBar1->raise();
}

void TFormHome::ToolButtonNo1Click()
{
    ApplyLayout(Panel1Rect.left(), HeaderRect.top() + ToolBarRect.height() + StatusBarHeight, false);
}

void TFormHome::ToolButtonNo2Click()
{
    ApplyLayout(Panel1Rect.left() + Panel1Rect.width() + 2 * EditURLRect.left(),
                HeaderRect.top() + ToolBarRect.height() + StatusBarHeight, false);
}

void TFormHome::ToolButtonNo3Click()
{
    ApplyLayout(Panel1Rect.left() + Panel1Rect.width() + 2 * EditURLRect.left(),
                TreeRect.top() + TreeRect.height() + ToolBarRect.height() + StatusBarHeight, true);
}

void TFormHome::FormShow()
{
    SetLampColour(Qt::black);
    EditURL->setText(FSettings.URL);
    // A showing in the middle of a fetch must not offer a second one.
    ToolButtonMake->setEnabled(!HomeFetch.Fetching());
    ToolButtonNo1Click();
}

void TFormHome::FormClose()
{
    HomeFetch.AbortForClose();
    FSettings.URL = EditURL->text();
}

void TFormHome::ToolButtonMakeClick()
{
    const QString pattern = EditURL->text();
    if (!MakeSequence::HasMark(pattern)) {
        ButtonCliMakeClick();
        return;
    }
    AddUrls(MakeSequence::Expand(pattern, UDStart->value(), UDEnd->value(), UDLength->value()));
}

void TFormHome::ToolButtonAddClick()
{
    AddUrls({EditURL->text().trimmed()});
}

void TFormHome::ToolButtonClipClick()
{
    TakeUrlText(QApplication::clipboard()->text());
}

void TFormHome::AddUrls(const QStringList &urls)
{
    const TUrlEntry::TAddReport report = TUrlEntry::AddUrls(FJobs, urls);
    TellRefusals(report.refused, report.added);
}

void TFormHome::TellRefusals(const QStringList &refused, int added)
{
    if (!refused.isEmpty())
        TNotice::Show(this, QMessageBox::Warning, TUrlEntry::RefusalText(refused, added));
}

void TFormHome::TakeUrlText(const QString &text)
{
    const QStringList lines = TUrlEntry::Lines(text);
    // Several lines are a list of URLs, never one pattern: each becomes a job of its own.
    if (lines.size() > 1) {
        AddUrls(lines);
        return;
    }
    if (lines.isEmpty())
        return;
    if (const QString refusal = TUrlEntry::Refusal(lines.first()); !refusal.isEmpty())
        TellRefusals({refusal}, 0);
    else
        EditURL->setText(lines.first());
}

void TFormHome::Label1Click()
{
    // Typed, not inserted: the mark replaces a selection and lands at the caret like a key stroke.
    EditURL->setFocus();
    QCoreApplication::postEvent(EditURL,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Dollar, Qt::NoModifier, QStringLiteral("$")));
    QCoreApplication::postEvent(EditURL,
                                new QKeyEvent(QEvent::KeyRelease, Qt::Key_Dollar, Qt::NoModifier, QStringLiteral("$")));
}

bool TFormHome::MakeFromRecord(const QString &url, const QString &start, const QString &end, const QString &length,
                               const QString &step)
{
    MakeSequence::TRecord record;
    bool bad = false;
    if (!MakeSequence::ReadRecord(url, start, end, length, step, &record, &bad))
        return !bad;
    EditURL->setText(record.pattern);
    UDStart->setValue(record.start);
    UDEnd->setValue(record.end);
    UDLength->setValue(record.length);
    UDStep->setValue(record.step);
    ToolButtonMakeClick();
    return true;
}

void TFormHome::showEvent(QShowEvent *event)
{
    // Restoring from the task bar is not a new showing.
    if (!event->spontaneous())
        FormShow();
    if (!FPlaced) {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        FPlaced = true;
    }
    QWidget::showEvent(event);
}

void TFormHome::closeEvent(QCloseEvent *event)
{
    FormClose();
    QWidget::closeEvent(event);
}

void TFormHome::DropURLTarget1Drop(const QString &url)
{
    TakeUrlText(url);
}

// The address field takes dragged links only, and a dropped link replaces its text: the edit's own
// drop would insert the text beside "http://".
bool TFormHome::EditURLDragEvent(QEvent *event)
{
    auto *drag = static_cast<QDropEvent *>(event);
    const QString link = TFileDrag::DraggedLinks(*drag->mimeData());
    if (link.isEmpty()) {
        event->ignore();
        return true;
    }
    drag->acceptProposedAction();
    if (event->type() == QEvent::Drop)
        DropURLTarget1Drop(link);
    return true;
}

bool TFormHome::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label1 && event->type() == QEvent::MouseButtonRelease) {
        Label1Click();
        return true;
    }
    const QEvent::Type type = event->type();
    if (watched == EditURL && (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop))
        return EditURLDragEvent(event);
    return QWidget::eventFilter(watched, event);
}
