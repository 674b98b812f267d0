#pragma once

#include "core/TJobListFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>

#include <optional>

// The download history: one line for every completed file, appended to a UTF-8 text file in the
// program folder that people and scripts can read. A line is the time (ISO 8601, UTC), the size,
// the SHA-256 in hex, the URL and the local file, separated by tabs; "#" begins a comment line.
// Thread-safe: workers of one program and other programs may append to one file at once.
class THistory
{
public:
    struct TRecord {
        QDateTime time;
        qint64 size = 0;
        QByteArray sha256; // 64 lower-case hex digits
        QString url;
        QString localFile;

        bool operator==(const TRecord &) const = default;
    };

    static constexpr const char *FileName = "history.txt";
    // The longest line read; a longer one is damaged.
    static constexpr int MaxLineBytes = 64 * 1024;

    // Reads the file's records in place of those held, and appends to it from now on. Damaged lines
    // (a partial last line left by a crash among them) are skipped and counted as a list's are;
    // rows counts the records read; error says why a file that is there could not be read. With an
    // empty name the records are kept in memory only.
    TJobListFile::TLoadReport Load(const QString &fileName);

    bool Contains(const QString &url) const;
    // The earliest record of this content under another URL than url; none when there is none.
    std::optional<TRecord> FindOther(const QByteArray &sha256, const QString &url) const;
    // Writes the record as one line at the end of the file and keeps it; false, with the reason,
    // when it could not be written (it is kept in memory all the same).
    bool Append(const TRecord &record, QString *error);

    // One line, without its line end; a field's tab or line break would split the line and is
    // written as a blank.
    static QByteArray LineOf(const TRecord &record);
    // A record of one line (without its line end); none when the line is damaged.
    static std::optional<TRecord> ParseLine(const QByteArray &line);

private:
    void Keep(const TRecord &record);

    mutable QMutex FMutex;
    QString FFileName;
    QList<TRecord> FRecords;
    QSet<QString> FUrls;
    QMultiHash<QByteArray, qsizetype> FBySha;
};
