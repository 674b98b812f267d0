#include "resources/TDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QPointer>
#include <QRegularExpression>

namespace {

// A filter as the dialog shows it with its details hidden: the name without the trailing pattern list.
QString ShownName(const QString &Filter)
{
    static const QRegularExpression pattern(QStringLiteral("^(.*)\\([^()]*\\)$"));
    const QRegularExpressionMatch match = pattern.match(Filter);
    return match.hasMatch() ? match.captured(1).simplified() : Filter;
}

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
        if (Selected) {
            const QStringList filters = dialog->nameFilters();
            const int index = TDialogs::FilterIndex(filters, dialog->selectedNameFilter());
            *Selected = index < 0 ? dialog->selectedNameFilter() : filters.at(index);
        }
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

int FilterIndex(const QStringList &Filters, const QString &Chosen)
{
    const int whole = Filters.indexOf(Chosen);
    if (whole >= 0)
        return whole;
    for (int index = 0; index < Filters.size(); ++index)
        if (ShownName(Filters.at(index)) == Chosen)
            return index;
    return -1;
}

void KeepAbove(QWidget *Dialog)
{
    bool above = false;
    for (QWidget *window : QApplication::topLevelWidgets())
        above = above
                || (window != Dialog && window->isVisible() && !window->isMinimized()
                    && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // A dialog kept for reuse drops the hint again once no such window is shown.
    if (Dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != above)
        Dialog->setWindowFlag(Qt::WindowStaysOnTopHint, above);
}

QMessageBox *MakeBox(QWidget *Opener, QMessageBox::Icon Icon, const QString &Caption, const QString &Text,
                     QMessageBox::StandardButtons Buttons)
{
    auto *box = new QMessageBox(Icon, Caption, Text, Buttons, Owner(Opener));
    KeepAbove(box);
    return box;
}

QMessageBox::StandardButton Ask(QWidget *Opener, QMessageBox::Icon Icon, const QString &Caption, const QString &Text,
                                QMessageBox::StandardButtons Buttons)
{
    QPointer<QMessageBox> box = MakeBox(Opener, Icon, Caption, Text, Buttons);
    const int answer = box->exec();
    delete box;
    return QMessageBox::StandardButton(answer);
}

bool Confirm(QWidget *Opener, const QString &Caption, const QString &Text)
{
    return Ask(Opener, QMessageBox::Question, Caption, Text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
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
