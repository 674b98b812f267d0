// The main window as the program's shell: tray entry, the maker's page and mailbox, and the logo's link.
#include "app/HttpThr1.h"

#include "mail/FormMail.h"
#include "resources/TToolIcons.h"
#include "viewer/TViewLogic.h"

#include <QAction>
#include <QDesktopServices>
#include <QDrag>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

void TFormMain::MakeTray()
{
    setWindowIcon(TToolIcons::ProgramIcon());
    // Without a tray (a bare window manager, a headless run) the program simply has none.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    TrayIcon = new QSystemTrayIcon(TToolIcons::ProgramIcon(FTrayBusyPicture), this);
    TrayIcon->setToolTip(QStringLiteral("ソラリト"));
    PopupMenuTray = new QMenu(this);
    QAction *close = PopupMenuTray->addAction(QStringLiteral("Close"));
    connect(close, &QAction::triggered, this, &QWidget::close);
    TrayIcon->setContextMenu(PopupMenuTray);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            ShowFromTray();
    });
    TrayIcon->show();
}

void TFormMain::SwapTrayIcon()
{
    SetTrayPicture(!FTrayBusyPicture);
}

void TFormMain::SetTrayPicture(bool busy)
{
    if (busy == FTrayBusyPicture)
        return;
    FTrayBusyPicture = busy;
    if (TrayIcon)
        TrayIcon->setIcon(TToolIcons::ProgramIcon(busy));
}

void TFormMain::ShowFromTray()
{
    showNormal();
    raise();
    activateWindow();
}

void TFormMain::changeEvent(QEvent *event)
{
    // Minimised, the program lives in its tray icon only.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && TrayIcon
        && TrayIcon->isVisible())
        QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
    QMainWindow::changeEvent(event);
}

void TFormMain::ToolButtonHomePageClick()
{
    if (!QDesktopServices::openUrl(QUrl(Settings.HomePage)))
        ShowMessage(QStringLiteral("プログラムを起動できませんでした。"));
}

void TFormMain::ToolButtonMailClick()
{
    FormMail->SetEndpoints(Settings.MailServer, Settings.MailPort, Settings.MailTimeOut, Settings.MailTo,
                           Settings.MailFrom);
    FormMail->show();
    FormMail->raise();
}

bool TFormMain::IsDragMove(const QPoint &pressed, const QMouseEvent &mouse)
{
    return mouse.modifiers() == Qt::NoModifier && TViewLogic::IsDragStart(pressed, mouse.position().toPoint());
}

bool TFormMain::LogoMouseEvent(QEvent *event)
{
    auto *mouse = static_cast<QMouseEvent *>(event);
    if (event->type() == QEvent::MouseButtonPress) {
        FLogoPressPosition = mouse->position().toPoint();
        return false;
    }
    if (mouse->buttons() != Qt::LeftButton || !IsDragMove(FLogoPressPosition, *mouse))
        return false;
    // A web link titled with the maker's name, as browsers and file managers take it.
    auto *mime = new QMimeData;
    mime->setUrls({QUrl(Settings.HomePage)});
    mime->setText(Settings.HomePage);
    mime->setData(QStringLiteral("text/x-moz-url"), QString(Settings.HomePage + QStringLiteral("\nノルビス")).toUtf8());
    auto *drag = new QDrag(ImageLogo);
    drag->setMimeData(mime);
    drag->exec(Qt::CopyAction | Qt::LinkAction);
    return true;
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseMove;
    if (watched == ImageLogo && mouse)
        return LogoMouseEvent(event);
    if (watched == ListViewMon && type == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Delete)) {
        TButtonCutClick();
        return true;
    }
    if (watched == ListViewMon->viewport()) {
        if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop)
            return ListViewDragEvent(event);
        if (mouse)
            return ListViewMouseEvent(event);
    }
    return QMainWindow::eventFilter(watched, event);
}
