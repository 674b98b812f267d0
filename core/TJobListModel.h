#pragma once

#include "download/LocalFileName.h"
#include "resources/TRowIcons.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

class QFontMetricsF;
class QTime;
class QTimer;

// Identity of a job row that stays the same while rows are deleted, moved or sorted.
using TJobId = quint64;

// Which jobs a worker holds now. The scheduler knows; a row's caption only shows it.
class TRunningJobs
{
public:
    virtual ~TRunningJobs() = default;
    virtual bool IsRunningJob(TJobId id) const = 0;
};

// Sub-item numbers of a row: the 13 text cells after the caption.
enum TSubItem : int {
    SubURL = 0,
    SubCByte,
    SubTByte,
    SubPercent,
    SubCTime,
    SubSTime,
    SubHttp,
    SubMessage,
    SubBKey,
    SubCount,
    SubSBytes,
    SubEBytes,
    SubDiv,
    SubItemCount
};

// The job list: one row per job, a caption (column "Th") plus 13 text cells. It is the program's
// only record of jobs; every cell is text, as the list files store it.
class TJobListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int ColumnCount = 1 + SubItemCount;
    // Role through which views read a row's image index.
    static constexpr int ImageIndexRole = Qt::UserRole + 1;

    struct TRow {
        TJobId id = 0;
        QString caption;
        std::array<QString, SubItemCount> cells;
        // A part's record of the file version its split saw (THttpFileVersion text); shown in no column.
        QString version;
        int image = TRowIcons::NotStarted;
    };

    explicit TJobListModel(QObject *parent = nullptr);
    ~TJobListModel() override;

    static const QStringList &ColumnTitles();
    static const QList<int> &ColumnWidths();
    // The designed widths for the font in use: scaled by its text height, and each column wide enough,
    // with Margins, for what it usually holds (a 10-digit byte count, "End>Completed!").
    static QList<int> FittedColumnWidths(const QFontMetricsF &metrics, int margins);
    static Qt::Alignment ColumnAlignment(int column);
    // A running row's caption is a worker digit: byte order between "0" and "9".
    static bool IsRunningCaption(const QString &caption);
    static int ImageFor(const QString &caption, const QString &percent, const QString &div);
    // A size or offset cell as a number; false for anything but decimal digits (spaces around allowed).
    static bool ParseNumber(const QString &cell, qint64 *value);
    // A CTime or STime cell: the time of day without a time-zone name.
    static QString TimeCell(const QTime &time);

    // Appends a job unless it duplicates one already listed; returns its row or -1. A part may
    // carry the version of the file it belongs to.
    int AddJob(const QString &url, qint64 start, qint64 end, const QString &part, const QString &version = {});
    // Appends a row as a list file holds it, without the duplicate test; missing cells are empty.
    int AppendRow(const QString &caption, const QStringList &cells, const QString &version = {});

    int RowCount() const { return int(FRows.size()); }
    QString Caption(int row) const;
    void SetCaption(int row, const QString &caption);
    QString Cell(int row, int subItem) const;
    // The row's version record; empty for whole-file jobs and parts listed before versions were kept.
    QString Version(int row) const;
    void SetCell(int row, int subItem, const QString &text);
    // The caption shows a worker digit. Whether a worker holds the job is the scheduler's to say.
    bool IsRunningRow(int row) const;
    // Rows whose Message is "Ready" or "Retry".
    int PendingCount() const { return FPendingCount; }
    int RowImage(int row) const;
    void UpdateRowImage(int row);

    TJobId JobAt(int row) const;
    int RowOfJob(TJobId id) const; // -1 once the job's row is gone

    // The local file of a row's job, as the worker, the windows, batch runs and the viewer all name it:
    // the rows are named from the top (LocalFileName::TClaims). withDiv: a part's own file, not the whole one.
    QString LocalFile(int row, const QString &folder, bool longNames, bool withDiv = true) const;

    // Removes the rows in one pass over the list, however scattered they are.
    void RemoveRows(QList<int> rows);
    void Clear();
    // Exchanges the whole contents of two rows, identity and image included.
    void SwapRows(int a, int b);
    // Orders the rows by URL once, comparing the texts code unit by code unit.
    void SortByUrl();

    // QAbstractTableModel
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    // Rows may be dragged (the list's own drag offers their files), but carry no data of their own.
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override { return {}; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    // Per URL: how many rows are whole-file jobs (empty S Bytes) and the start offsets of its parts.
    struct TUrlEntry {
        int wholeRows = 0;
        QHash<qint64, int> partStarts;
    };

    void IndexRow(const TRow &row, int delta);
    void CountPending(const TRow &row, int delta);
    void RebuildRowOfJob();
    int Append(TRow row);
    void MarkChanged(int row);
    // A row's URL or place changed: the names made so far may no longer be the list's.
    void ForgetLocalFiles();
    void FlushChanges();

    QList<TRow> FRows;
    QHash<TJobId, int> FRowOfJob;
    QHash<QString, TUrlEntry> FUrls;
    TJobId FNextId = 1;
    int FPendingCount = 0;
    // The local files of the rows from the top, made as asked for; appended rows keep them valid.
    mutable std::optional<LocalFileName::TClaims> FClaims;
    mutable QStringList FLocalFiles;
    // Cell writes are folded into one dataChanged per batch, so a busy download does not repaint per piece.
    QTimer *FFlushTimer = nullptr;
    int FDirtyFirst = -1;
    int FDirtyLast = -1;
};
