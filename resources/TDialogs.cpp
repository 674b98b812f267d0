#include "TDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QPointer>

namespace {

QString RunFileDialog(QWidget *Opener, QFileDialog::AcceptMode Mode, const QString &Caption, const QString &Name,
                      const QString &Filters, QString *Selected)
{
    QPointer<QFileDialog> dialog = new QFileDialog(TDialogs::Owner(Opener), Caption, Name, Filters);
    dialog->setAcceptMode(Mode);
    dialog->setFileMode(Mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // Our filter names already carry their pattern; Qt would add it a second time.
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    if (Selected && !Selected->isEmpty())
        dialog->selectNameFilter(*Selected);
    TDialogs::KeepAbove(dialog);
    QString chosen;
    if (dialog->exec() == QDialog::Accepted && dialog && !dialog->selectedFiles().isEmpty()) {
        chosen = dialog->selectedFiles().constFirst();
        if (Selected)
            *Selected = dialog->selectedNameFilter();
    }
    // The owner may have gone while the dialog ran, taking the dialog with it.
    delete dialog;
    return chosen;
}

} // namespace

namespace TDialogs {

QWidget *Owner(QWidget *Opener)
{
    if (Opener)
        return Opener->window();
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

void KeepAbove(QWidget *Dialog)
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window != Dialog && window->isVisible() && !window->isMinimized()
            && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
            Dialog->setWindowFlag(Qt::WindowStaysOnTopHint, true);
            return;
        }
}

QMessageBox *MakeBox(QWidget *Opener, QMessageBox::Icon Icon, const QString &Caption, const QString &Text,
                     QMessageBox::StandardButtons Buttons)
{
    auto *box = new QMessageBox(Icon, Caption, Text, Buttons, Owner(Opener));
    KeepAbove(box);
    return box;
}

QMessageBox::StandardButton Ask(QWidget *Opener, QMessageBox::Icon Icon, const QString &Caption,
                                const QString &Text, QMessageBox::StandardButtons Buttons)
{
    QPointer<QMessageBox> box = MakeBox(Opener, Icon, Caption, Text, Buttons);
    const int answer = box->exec();
    delete box;
    return QMessageBox::StandardButton(answer);
}

bool Confirm(QWidget *Opener, const QString &Caption, const QString &Text)
{
    return Ask(Opener, QMessageBox::Question, Caption, Text, QMessageBox::Ok | QMessageBox::Cancel)
           == QMessageBox::Ok;
}

QString ChooseOpenFile(QWidget *Opener, const QString &Caption, const QString &Name, const QString &Filters)
{
    return RunFileDialog(Opener, QFileDialog::AcceptOpen, Caption, Name, Filters, nullptr);
}

QString ChooseSaveFile(QWidget *Opener, const QString &Caption, const QString &Name, const QString &Filters,
                       QString *Selected)
{
    return RunFileDialog(Opener, QFileDialog::AcceptSave, Caption, Name, Filters, Selected);
}

} // namespace TDialogs
