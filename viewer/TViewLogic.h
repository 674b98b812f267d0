#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

// The viewer window's arithmetic and rules, apart from the window so they can be checked alone.
namespace TViewLogic {

// Where a picture is drawn on a surface: fitted to the width when its height then fits, else to the
// height, centred the other way. Null for an empty picture.
QRect FitRect(QSize picture, QSize surface);

// A step to another job: the row to show and the row whose selection is cleared first.
struct TStep {
    int Target = 0;
    int Deselect = 0;
};
// FirstSelected is -1 when no row is selected. No step in an empty list.
std::optional<TStep> PreviousStep(int RowCount, int FirstSelected);
std::optional<TStep> NextStep(int RowCount, int FirstSelected);

// A scroll position moved by Delta; the old one when the new one would leave 0..Maximum.
int ScrollTo(int Position, int Delta, int Maximum);

// How far the mouse must move with a button down before a drag starts (files, links, the shown picture).
constexpr int DragDistance = 10;
bool IsDragStart(QPoint Origin, QPoint Now);

// A name handed over by another program that names a catalogue file rather than a picture.
bool IsCatalogueFile(const QString &Text);

// The top-left corner that centres Inner in Outer.
QPoint CentredTopLeft(QSize Outer, QSize Inner);

// What the file-manager button opens: the companion program in the program folder when there is
// one, else the download folder for the desktop's file manager.
struct TFileManagerTarget {
    QString Path;
    bool IsProgram = false;
};
TFileManagerTarget FileManagerTarget(const QString &ProgramFolder);

} // namespace TViewLogic
