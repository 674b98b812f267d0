#include "core/THistory.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char Header[] = "# time (UTC)\tsize\tSHA-256\tURL\tfile\n";
constexpr int FieldCount = 5;
constexpr qsizetype ShaDigits = 64;

bool IsLowerHex(const QByteArray &text)
{
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// A field of text: UTF-8, not empty, without control characters.
std::optional<QString> TextField(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    if (bytes.isEmpty() || decoder.hasError())
        return std::nullopt;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return std::nullopt;
    return text;
}

QByteArray Flat(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    for (char &c : bytes)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return bytes;
}

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QByteArray THistory::LineOf(const TRecord &record)
{
    return record.time.toUTC().toString(Qt::ISODate).toLatin1() + '\t' + QByteArray::number(record.size) + '\t'
           + record.sha256 + '\t' + Flat(record.url) + '\t' + Flat(record.localFile);
}

std::optional<THistory::TRecord> THistory::ParseLine(const QByteArray &line)
{
    const QList<QByteArray> fields = line.split('\t');
    if (fields.size() != FieldCount)
        return std::nullopt;
    TRecord record;
    const QByteArray &time = fields[0];
    record.time = QDateTime::fromString(QString::fromLatin1(time), Qt::ISODate);
    // Only the form written, to the second in UTC: a line reads back as the record it was made from.
    if (!record.time.isValid() || record.time.toUTC().toString(Qt::ISODate).toLatin1() != time)
        return std::nullopt;
    // Digits alone: no sign, blank or other base that toLongLong would take.
    bool ok = !fields[1].isEmpty()
              && std::all_of(fields[1].begin(), fields[1].end(), [](char c) { return c >= '0' && c <= '9'; });
    record.size = ok ? fields[1].toLongLong(&ok) : 0;
    if (!ok)
        return std::nullopt;
    record.sha256 = fields[2];
    if (record.sha256.size() != ShaDigits || !IsLowerHex(record.sha256))
        return std::nullopt;
    const std::optional<QString> url = TextField(fields[3]);
    const std::optional<QString> localFile = TextField(fields[4]);
    if (!url || !localFile)
        return std::nullopt;
    record.url = *url;
    record.localFile = *localFile;
    return record;
}

TJobListFile::TLoadReport THistory::Load(const QString &fileName)
{
    QMutexLocker lock(&FMutex);
    FFileName = fileName;
    FRecords.clear();
    FUrls.clear();
    FBySha.clear();
    TJobListFile::TLoadReport report;
    QFile file(fileName);
    if (!file.exists())
        return report;
    // A fifo would hold the start of every run until someone wrote to it.
    if (!QFileInfo(fileName).isFile()) {
        report.error = QStringLiteral("%1: not a regular file").arg(fileName);
        return report;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        report.error = QStringLiteral("%1: %2").arg(fileName, file.errorString());
        return report;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        report.error = QStringLiteral("%1: %2").arg(fileName, file.errorString());
        return report;
    }
    int number = 0;
    for (qsizetype at = 0; at < bytes.size();) {
        ++number;
        const qsizetype end = bytes.indexOf('\n', at);
        // Every line is written with its end: one without it was cut short by a crash.
        const bool whole = end >= 0;
        const QByteArray line = bytes.mid(at, (whole ? end : bytes.size()) - at);
        at = whole ? end + 1 : bytes.size();
        // A comment says nothing, whole or cut.
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const std::optional<TRecord> record = whole && line.size() <= MaxLineBytes ? ParseLine(line) : std::nullopt;
        if (!record) {
            if (report.firstSkipped.size() < TJobListFile::ReportedLines)
                report.firstSkipped.append(number);
            ++report.skippedLines;
            continue;
        }
        Keep(*record);
        ++report.rows;
    }
    return report;
}

void THistory::Keep(const TRecord &record)
{
    FBySha.insert(record.sha256, FRecords.size());
    FUrls.insert(record.url);
    FRecords.append(record);
}

bool THistory::Contains(const QString &url) const
{
    QMutexLocker lock(&FMutex);
    return FUrls.contains(url);
}

std::optional<THistory::TRecord> THistory::FindOther(const QByteArray &sha256, const QString &url) const
{
    QMutexLocker lock(&FMutex);
    qsizetype first = -1;
    for (auto [it, end] = FBySha.equal_range(sha256); it != end; ++it)
        if (FRecords[*it].url != url && (first < 0 || *it < first))
            first = *it;
    if (first < 0)
        return std::nullopt;
    return FRecords[first];
}

bool THistory::Append(const TRecord &record, QString *error)
{
    QMutexLocker lock(&FMutex);
    Keep(record);
    if (FFileName.isEmpty())
        return true;
    const QByteArray name = QFile::encodeName(FFileName);
    // Appended, never rewritten: a crash can cut only the line being written. O_APPEND places every
    // whole-line write at the end, even for a writer that does not lock.
    const int fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        *error = QStringLiteral("%1: %2").arg(FFileName, SystemError(errno));
        return false;
    }
    // Another writer's line may be half in the file while its write runs: its end would look cut.
    // The lock makes the look at the end and the write one step for every writer of the file.
    while (flock(fd, LOCK_EX) < 0 && errno == EINTR) {
    }
    QByteArray line = LineOf(record) + '\n';
    struct stat status {};
    char last = '\n';
    if (fstat(fd, &status) == 0 && status.st_size == 0)
        line.prepend(Header);
    // A line a crash cut short would swallow this one, and ended as it is it might read as a record
    // with a cut name. A tab before its end leaves too many fields or an empty last one: a damaged line.
    else if (status.st_size > 0 && pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n')
        line.prepend("\t\n");
    ssize_t written = -1;
    do
        written = ::write(fd, line.constData(), size_t(line.size()));
    while (written < 0 && errno == EINTR);
    const int writeError = errno;
    ::close(fd);
    if (written == line.size())
        return true;
    *error = QStringLiteral("%1: %2").arg(FFileName,
                                          written < 0 ? SystemError(writeError) : QStringLiteral("short write"));
    return false;
}
