#include "TNotice.h"

namespace TNotice {

void Show(QWidget *Parent, QMessageBox::Icon Icon, const QString &Text)
{
    auto *box = new QMessageBox(Icon, Parent->windowTitle(), Text, QMessageBox::Ok, Parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace TNotice
