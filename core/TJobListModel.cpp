#include "core/TJobListModel.h"

#include "download/HttpNumber.h"
#include "download/RowTexts.h"

#include <QFontMetricsF>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int FlushIntervalMs = 50;
// The designed column widths were drawn for 9-point text on a 96-dpi screen, 12 pixels high.
constexpr qreal DesignTextHeight = 12;

bool IsValidRow(int row, int count)
{
    return row >= 0 && row < count;
}

// Columns whose cells may outgrow them (a long Message, a column narrowed by hand): they show whole as tool tips.
bool HasNarrowText(int column)
{
    return column == 0 || column - 1 == SubCByte || column - 1 == SubTByte || column - 1 == SubMessage;
}

} // namespace

TJobListModel::TJobListModel(QObject *parent) : QAbstractTableModel(parent), FFlushTimer(new QTimer(this))
{
    FFlushTimer->setSingleShot(true);
    FFlushTimer->setInterval(FlushIntervalMs);
    connect(FFlushTimer, &QTimer::timeout, this, &TJobListModel::FlushChanges);
}

TJobListModel::~TJobListModel() = default;

const QStringList &TJobListModel::ColumnTitles()
{
    static const QStringList titles{"Th",   "URL",     "CByte", "TByte", "%",       "CTime",   "STime",
                                    "Http", "Message", "BKey",  "Count", "S Bytes", "E Bytes", "Div"};
    return titles;
}

const QList<int> &TJobListModel::ColumnWidths()
{
    static const QList<int> widths{18, 200, 50, 50, 50, 5, 5, 30, 100, 5, 30, 50, 50, 35};
    return widths;
}

QList<int> TJobListModel::FittedColumnWidths(const QFontMetricsF &metrics, int margins)
{
    qreal digit = 0;
    for (char c = '0'; c <= '9'; ++c)
        digit = std::max(digit, metrics.horizontalAdvance(QLatin1Char(c)));
    const qreal scale = metrics.height() / DesignTextHeight;
    QList<int> widths;
    for (int column = 0; column < ColumnCount; ++column) {
        qreal held = 0;
        switch (column - 1) {
        case SubCByte:
        case SubTByte:
        case SubSBytes:
        case SubEBytes:
            held = 10 * digit;
            break;
        case SubPercent:
            held = metrics.horizontalAdvance(QStringLiteral("100.00"));
            break;
        case SubMessage:
            held = metrics.horizontalAdvance(RowText::Completed);
            break;
        default:
            break;
        }
        const int designed = qRound(ColumnWidths().at(column) * scale);
        widths.append(held > 0 ? std::max(designed, int(std::ceil(held)) + margins) : designed);
    }
    return widths;
}

Qt::Alignment TJobListModel::ColumnAlignment(int column)
{
    switch (column - 1) {
    case SubCByte:
    case SubTByte:
    case SubPercent:
    case SubBKey:
    case SubSBytes:
    case SubEBytes:
        return Qt::AlignRight | Qt::AlignVCenter;
    case SubCTime:
    case SubSTime:
    case SubCount:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

bool TJobListModel::IsRunningCaption(const QString &caption)
{
    // Compared as text: "(..)" sorts below "0"; "@@" and "※" above "9".
    return QString::compare(caption, QStringLiteral("0")) >= 0 && QString::compare(caption, QStringLiteral("9")) <= 0;
}

int TJobListModel::ImageFor(const QString &caption, const QString &percent, const QString &div)
{
    if (IsRunningCaption(caption))
        return TRowIcons::Running;
    if (percent == QStringLiteral("100.00"))
        return div.isEmpty() ? TRowIcons::Complete : TRowIcons::PartComplete;
    if (percent != QStringLiteral("-") && !percent.isEmpty())
        return TRowIcons::Partly;
    return TRowIcons::NotStarted;
}

bool TJobListModel::ParseNumber(const QString &cell, qint64 *value)
{
    const std::optional<qint64> number = ParseHttpNumber(cell.trimmed());
    if (number)
        *value = *number;
    return number.has_value();
}

int TJobListModel::AddJob(const QString &url, qint64 start, qint64 end, const QString &part, const QString &version)
{
    const bool wholeFile = start == 0 && end == 0;
    const auto found = FUrls.constFind(url);
    if (found != FUrls.constEnd() && (found->wholeRows > 0 || found->partStarts.contains(start)))
        return -1;

    TRow row;
    row.id = FNextId++;
    row.caption = RowText::NotStartedCaption;
    auto &c = row.cells;
    c[SubURL] = url;
    c[SubCByte] = QStringLiteral("-");
    c[SubTByte] = QStringLiteral("???");
    c[SubPercent] = QStringLiteral("-");
    c[SubCTime] = QStringLiteral(">");
    c[SubSTime] = QStringLiteral("-");
    c[SubHttp] = wholeFile ? QStringLiteral("1.1") : QStringLiteral("-");
    c[SubMessage] = url.startsWith(QStringLiteral("file://")) ? RowText::LocalFile : RowText::Ready;
    c[SubBKey] = QStringLiteral("*");
    c[SubCount] = QStringLiteral("0");
    if (!wholeFile) {
        c[SubSBytes] = QString::number(start);
        c[SubEBytes] = QString::number(end);
        c[SubDiv] = part;
        row.version = version;
    }

    return Append(std::move(row));
}

int TJobListModel::AppendRow(const QString &caption, const QStringList &cells, const QString &version)
{
    TRow row;
    row.id = FNextId++;
    row.caption = caption;
    row.version = version;
    for (int sub = 0; sub < SubItemCount && sub < cells.size(); ++sub)
        row.cells[sub] = cells[sub];
    return Append(std::move(row));
}

int TJobListModel::Append(TRow row)
{
    const int index = RowCount();
    beginInsertRows({}, index, index);
    IndexRow(row, +1);
    CountPending(row, +1);
    FRowOfJob.insert(row.id, index);
    FRows.append(std::move(row));
    endInsertRows();
    return index;
}

QString TJobListModel::Caption(int row) const
{
    return IsValidRow(row, RowCount()) ? FRows[row].caption : QString();
}

void TJobListModel::SetCaption(int row, const QString &caption)
{
    if (!IsValidRow(row, RowCount()) || FRows[row].caption == caption)
        return;
    FRows[row].caption = caption;
    MarkChanged(row);
}

QString TJobListModel::Cell(int row, int subItem) const
{
    if (!IsValidRow(row, RowCount()) || subItem < 0 || subItem >= SubItemCount)
        return {};
    return FRows[row].cells[subItem];
}

QString TJobListModel::Version(int row) const
{
    return IsValidRow(row, RowCount()) ? FRows[row].version : QString();
}

void TJobListModel::SetCell(int row, int subItem, const QString &text)
{
    if (!IsValidRow(row, RowCount()) || subItem < 0 || subItem >= SubItemCount)
        return;
    TRow &r = FRows[row];
    if (r.cells[subItem] == text)
        return;
    const bool keyCell = subItem == SubURL || subItem == SubSBytes;
    if (keyCell)
        IndexRow(r, -1);
    if (subItem == SubURL)
        ForgetLocalFiles();
    if (subItem == SubMessage)
        CountPending(r, -1);
    r.cells[subItem] = text;
    if (keyCell)
        IndexRow(r, +1);
    if (subItem == SubMessage)
        CountPending(r, +1);
    MarkChanged(row);
}

bool TJobListModel::IsRunningRow(int row) const
{
    return IsValidRow(row, RowCount()) && IsRunningCaption(FRows[row].caption);
}

int TJobListModel::RowImage(int row) const
{
    return IsValidRow(row, RowCount()) ? FRows[row].image : TRowIcons::NotStarted;
}

void TJobListModel::UpdateRowImage(int row)
{
    if (!IsValidRow(row, RowCount()))
        return;
    TRow &r = FRows[row];
    const int image = ImageFor(r.caption, r.cells[SubPercent], r.cells[SubDiv]);
    if (image == r.image)
        return;
    r.image = image;
    MarkChanged(row);
}

QString TJobListModel::LocalFile(int row, const QString &folder, bool longNames, bool withDiv) const
{
    if (!IsValidRow(row, RowCount()))
        return {};
    if (!FClaims || FClaims->Folder() != folder || FClaims->LongNames() != longNames) {
        FClaims.emplace(folder, longNames);
        FLocalFiles.clear();
    }
    while (FLocalFiles.size() <= row)
        FLocalFiles.append(FClaims->Claim(FRows[FLocalFiles.size()].cells[SubURL]));
    return withDiv ? FLocalFiles[row] + LocalFileName::PartText(FRows[row].cells[SubDiv]) : FLocalFiles[row];
}

void TJobListModel::ForgetLocalFiles()
{
    FClaims.reset();
    FLocalFiles.clear();
}

TJobId TJobListModel::JobAt(int row) const
{
    return IsValidRow(row, RowCount()) ? FRows[row].id : 0;
}

int TJobListModel::RowOfJob(TJobId id) const
{
    return FRowOfJob.value(id, -1);
}

void TJobListModel::RemoveRows(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.removeIf([this](int row) { return !IsValidRow(row, RowCount()); });
    if (rows.isEmpty())
        return;
    // One block is the usual signal; scattered rows are one reset, since a signal per block would
    // make views and selections pay for every block.
    const bool oneBlock = rows.last() - rows.first() + 1 == rows.size();
    if (oneBlock)
        beginRemoveRows({}, rows.first(), rows.last());
    else
        beginResetModel();
    qsizetype next = 0;
    int kept = rows.first();
    for (int row = rows.first(); row < RowCount(); ++row) {
        if (next < rows.size() && rows[next] == row) {
            ++next;
            IndexRow(FRows[row], -1);
            CountPending(FRows[row], -1);
            continue;
        }
        if (kept != row)
            FRows[kept] = std::move(FRows[row]);
        ++kept;
    }
    FRows.resize(kept);
    RebuildRowOfJob();
    ForgetLocalFiles();
    if (oneBlock)
        endRemoveRows();
    else
        endResetModel();
}

void TJobListModel::Clear()
{
    beginResetModel();
    FRows.clear();
    FUrls.clear();
    FRowOfJob.clear();
    FPendingCount = 0;
    ForgetLocalFiles();
    endResetModel();
}

void TJobListModel::SwapRows(int a, int b)
{
    if (!IsValidRow(a, RowCount()) || !IsValidRow(b, RowCount()) || a == b)
        return;
    std::swap(FRows[a], FRows[b]);
    ForgetLocalFiles();
    FRowOfJob.insert(FRows[a].id, a);
    FRowOfJob.insert(FRows[b].id, b);
    MarkChanged(a);
    MarkChanged(b);
}

void TJobListModel::SortByUrl()
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<TJobId> ids;
    for (const QModelIndex &index : before)
        ids.append(FRows[index.row()].id);
    std::stable_sort(FRows.begin(), FRows.end(), [](const TRow &a, const TRow &b) {
        return QString::compare(a.cells[SubURL], b.cells[SubURL], Qt::CaseSensitive) < 0;
    });
    RebuildRowOfJob();
    ForgetLocalFiles();
    QModelIndexList after;
    for (int i = 0; i < before.size(); ++i)
        after.append(index(FRowOfJob.value(ids[i]), before[i].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TJobListModel::RebuildRowOfJob()
{
    FRowOfJob.clear();
    for (int row = 0; row < RowCount(); ++row)
        FRowOfJob.insert(FRows[row].id, row);
}

void TJobListModel::IndexRow(const TRow &row, int delta)
{
    TUrlEntry &entry = FUrls[row.cells[SubURL]];
    const QString &sBytes = row.cells[SubSBytes];
    qint64 start = 0;
    if (sBytes.isEmpty()) {
        entry.wholeRows += delta;
    } else if (ParseNumber(sBytes, &start)) {
        int &count = entry.partStarts[start];
        count += delta;
        if (count <= 0)
            entry.partStarts.remove(start);
    }
    if (entry.wholeRows <= 0 && entry.partStarts.isEmpty())
        FUrls.remove(row.cells[SubURL]);
}

void TJobListModel::CountPending(const TRow &row, int delta)
{
    if (RowText::IsPending(row.cells[SubMessage]))
        FPendingCount += delta;
}

void TJobListModel::MarkChanged(int row)
{
    FDirtyFirst = FDirtyFirst < 0 ? row : std::min(FDirtyFirst, row);
    FDirtyLast = std::max(FDirtyLast, row);
    if (!FFlushTimer->isActive())
        FFlushTimer->start();
}

void TJobListModel::FlushChanges()
{
    const int last = std::min(FDirtyLast, RowCount() - 1);
    if (FDirtyFirst >= 0 && FDirtyFirst <= last)
        emit dataChanged(index(FDirtyFirst, 0), index(last, ColumnCount - 1));
    FDirtyFirst = -1;
    FDirtyLast = -1;
}

int TJobListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int TJobListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString TJobListModel::TimeCell(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

QVariant TJobListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !IsValidRow(index.row(), RowCount()))
        return {};
    const TRow &r = FRows[index.row()];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return column == 0 ? r.caption : r.cells[column - 1];
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(ColumnAlignment(column));
    case Qt::ToolTipRole:
        return HasNarrowText(column) ? data(index, Qt::DisplayRole) : QVariant();
    case Qt::DecorationRole:
        return column == 0 ? QVariant(TRowIcons::Image(r.image)) : QVariant();
    case ImageIndexRole:
        return r.image;
    default:
        return {};
    }
}

QVariant TJobListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return ColumnTitles().at(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(ColumnAlignment(section));
    return {};
}

Qt::ItemFlags TJobListModel::flags(const QModelIndex &index) const
{
    return QAbstractTableModel::flags(index) | (index.isValid() ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
}
