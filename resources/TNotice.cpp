#include "resources/TNotice.h"

#include "resources/TDialogs.h"

namespace TNotice {

void Show(QWidget *Parent, QMessageBox::Icon Icon, const QString &Text)
{
    QMessageBox *box = TDialogs::MakeBox(Parent, Icon, Parent->windowTitle(), Text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace TNotice
