// The viewer's mouse: scrolling an actual-size picture with the right button, dragging the shown
// file to another program with the left.
#include "viewer/FormView1.h"

#include "resources/TFileDrag.h"
#include "viewer/TViewLogic.h"
#include "viewer/TViewSurface.h"

#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>

bool TFormView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ImageBig) {
        // Screen positions: the surface itself moves while it scrolls under the mouse.
        if (event->type() == QEvent::MouseButtonPress)
            ImageBigMouseDown(static_cast<QMouseEvent *>(event)->globalPosition().toPoint());
        else if (event->type() == QEvent::MouseMove) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            ImageBigMouseMove(mouse->globalPosition().toPoint(), mouse->buttons(), mouse->modifiers());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormView::ImageBigMouseDown(const QPoint &global)
{
    FDragOrigin = global;
    FLastPoint = global;
}

void TFormView::ImageBigMouseMove(const QPoint &global, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    if (modifiers != Qt::NoModifier)
        return;
    if (buttons == Qt::RightButton && FActualSize) {
        QScrollBar *vertical = ScrollBox1->verticalScrollBar();
        QScrollBar *horizontal = ScrollBox1->horizontalScrollBar();
        vertical->setValue(TViewLogic::ScrollTo(vertical->value(), FLastPoint.y() - global.y(), vertical->maximum()));
        horizontal->setValue(
            TViewLogic::ScrollTo(horizontal->value(), FLastPoint.x() - global.x(), horizontal->maximum()));
        FLastPoint = global;
    } else if (buttons == Qt::LeftButton && TViewLogic::IsDragStart(FDragOrigin, global) && !FCurrentFile.isEmpty()) {
        StartDrag({FCurrentFile});
    }
}

void TFormView::OfferFiles(const QStringList &Files)
{
    TFileDrag::OfferCopy(ImageBig, Files);
}
