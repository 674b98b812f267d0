#pragma once

#include <QMessageBox>
#include <QStringList>

// Dialogs of every window: owned by the window they are opened from, so that they open centred on it,
// and never hidden behind a window kept on top (the Home window).
namespace TDialogs {

// The window a dialog opened from Opener belongs to: Opener's window, else the modal or active window.
QWidget *Owner(QWidget *Opener);
// Gives Dialog the stays-on-top hint while a window kept on top is shown, and takes it away while
// none is; call before showing it.
void KeepAbove(QWidget *Dialog);

// A message box over Opener's window, not yet shown.
QMessageBox *MakeBox(QWidget *Opener, QMessageBox::Icon Icon, const QString &Caption, const QString &Text,
                     QMessageBox::StandardButtons Buttons);
// Shows such a box modally; the button pressed.
QMessageBox::StandardButton Ask(QWidget *Opener, QMessageBox::Icon Icon, const QString &Caption, const QString &Text,
                                QMessageBox::StandardButtons Buttons);
// An OK/Cancel question; true for OK.
bool Confirm(QWidget *Opener, const QString &Caption, const QString &Text);

// The position in Filters of the filter a file dialog reports as chosen: it may report the whole
// filter or only its shown name (details hidden); -1 when neither matches.
int FilterIndex(const QStringList &Filters, const QString &Chosen);

// File dialogs whose filters ("Name(*.X) (*.X *.x)") show their patterns once; empty when cancelled.
QString ChooseOpenFile(QWidget *Opener, const QString &Caption, const QString &Name, const QString &Filters);
// Overwriting is the caller's to confirm. Selected: the filter to start with, then the one chosen,
// as Filters writes it (whatever text the dialog reports for it).
QString ChooseSaveFile(QWidget *Opener, const QString &Caption, const QString &Name, const QString &Filters,
                       QString *Selected);

} // namespace TDialogs
