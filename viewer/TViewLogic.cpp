#include "viewer/TViewLogic.h"

#include <QFileInfo>

#include <cstdlib>

namespace TViewLogic {

QRect FitRect(QSize picture, QSize surface)
{
    const qint64 w = picture.width(), h = picture.height();
    if (w <= 0 || h <= 0)
        return {};
    const qint64 W = surface.width(), H = surface.height();
    // 64-bit products: a huge picture on a large surface overflows int.
    const qint64 a = W * h / w;
    if (a <= H) {
        const qint64 top = (H - a) / 2;
        return QRect(0, int(top), int(W), int(a));
    }
    const qint64 c = H * w / h;
    const qint64 left = (W - c) / 2;
    return QRect(int(left), 0, int(c), int(H));
}

std::optional<TStep> PreviousStep(int RowCount, int FirstSelected)
{
    if (RowCount <= 0)
        return std::nullopt;
    if (FirstSelected > 0)
        return TStep{FirstSelected - 1, FirstSelected};
    return TStep{0, 0};
}

std::optional<TStep> NextStep(int RowCount, int FirstSelected)
{
    if (RowCount <= 0)
        return std::nullopt;
    if (FirstSelected < 0)
        return TStep{0, 0};
    return TStep{FirstSelected + 1 < RowCount ? FirstSelected + 1 : FirstSelected, FirstSelected};
}

int ScrollTo(int Position, int Delta, int Maximum)
{
    const qint64 moved = qint64(Position) + Delta;
    return moved >= 0 && moved <= Maximum ? int(moved) : Position;
}

bool IsDragStart(QPoint Origin, QPoint Now)
{
    const QPoint moved = Now - Origin;
    return std::abs(moved.x()) >= DragDistance || std::abs(moved.y()) >= DragDistance;
}

bool IsCatalogueFile(const QString &Text)
{
    return Text.right(4).toUpper() == QStringLiteral(".PEL");
}

QPoint CentredTopLeft(QSize Outer, QSize Inner)
{
    return QPoint((Outer.width() - Inner.width()) / 2, (Outer.height() - Inner.height()) / 2);
}

TFileManagerTarget FileManagerTarget(const QString &ProgramFolder)
{
    const QFileInfo program(ProgramFolder + QStringLiteral("/Kestrum"));
    if (program.isFile() && program.isExecutable())
        return {program.filePath(), true};
    return {ProgramFolder + QStringLiteral("/tmp"), false};
}

} // namespace TViewLogic
