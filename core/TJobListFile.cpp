#include "core/TJobListFile.h"

#include "core/TJobListModel.h"
#include "core/TSafeFile.h"
#include "download/HttpFileVersion.h"
#include "download/RowTexts.h"
#include "download/UrlUtil.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace {

const char *const FileCodec = "CP932";
constexpr int MaxFields = 20;
const QString RunningCaption = QStringLiteral("※");

// A character no list line holds. The decoder writes U+001A, U+001C or U+FFFD for bytes CP932
// lacks, so damaged bytes and control characters are caught by one test.
bool IsDamage(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t') || (u >= 0x7f && u < 0xa0) || u == 0xfffd;
}

// The line as text, or an empty string when it is damaged.
QString Decode(QStringDecoder &decoder, const QByteArray &bytes)
{
    // A lead byte cut off at the end would vanish without trace; the blank after it makes the
    // decoder mark it as a bad character, and is then dropped.
    QString text = decoder.decode(bytes + ' ');
    text.chop(1);
    return std::any_of(text.cbegin(), text.cend(), IsDamage) ? QString() : text;
}

// A row's line, however long its URL may be, fits the line bound with room for its other cells.
static_assert(UrlUtil::MaxUrlBytes + 1024 <= TJobListFile::MaxLineBytes);

bool IsLocal(const QString &url)
{
    return url.startsWith(QStringLiteral("file://"));
}

const QString MakeKey = QStringLiteral("MAKE=");

// The fields of a line; false when it holds more than a line may.
bool SplitFields(const QString &line, QStringList *fields)
{
    // A comma is never part of a double-byte character, so splitting the text splits the bytes.
    *fields = line.split(u',');
    return fields->size() <= MaxFields;
}

// A part row's version record, the field after the cells; lists of old and other programs have none.
QString PartVersion(const QStringList &fields)
{
    const QString version = fields.value(1 + SubItemCount);
    const bool part = !fields.value(1 + SubDiv).isEmpty();
    return part && THttpFileVersion::FromText(version) ? version : QString();
}

// One line of a list. Returns false when the line is skipped as damaged.
bool LoadLine(TJobListModel &jobs, const QString &line, const TJobListFile::TMakeRecord &makeRecord)
{
    QStringList fields;
    if (!SplitFields(line, &fields))
        return false;
    const QString first = fields.value(0);
    const bool urlLine = first.startsWith(QStringLiteral("URL="), Qt::CaseInsensitive);
    const bool makeLine = first.startsWith(MakeKey, Qt::CaseInsensitive);
    // The rule that refuses a URL when it is added refuses it here, so that no row the list showed
    // vanishes unreported at the next start. Blanks around a URL are no part of it.
    const QString listedUrl = urlLine ? first.mid(4).trimmed() : QString();
    if (urlLine && !UrlUtil::FetchProblem(listedUrl).isEmpty())
        return false;

    // Local "file://" rows are saved like any other; read them back too, or they vanish at the next start.
    // The program never fetches one: a local row whose message would have it fetched is damage.
    const QString url = fields.value(1);
    const bool local = IsLocal(url);
    const QString message = fields.value(1 + SubMessage);
    if (local && RowText::IsPending(message))
        return false;
    // A line shaped like a saved row is one, whatever its URL: a bad one is damage, not another program's line.
    const bool rowShape = fields.size() == 1 + SubItemCount && !urlLine && !makeLine;
    if (local || UrlUtil::IsWebUrl(url) || rowShape) {
        if (!UrlUtil::JobUrlProblem(url).isEmpty())
            return false;
        jobs.UpdateRowImage(jobs.AppendRow(first, fields.mid(1, SubItemCount), PartVersion(fields)));
    }
    if (urlLine) {
        const QString dash = QStringLiteral("-");
        jobs.UpdateRowImage(
            jobs.AppendRow(RowText::NotStartedCaption, {listedUrl, dash, QStringLiteral("???"), dash,
                                                        QStringLiteral(">"), dash, dash, RowText::Ready, dash, dash}));
    }
    if (makeLine && makeRecord)
        return makeRecord(first.mid(MakeKey.size()), fields.value(1), fields.value(2), fields.value(3),
                          fields.value(4));
    return true;
}

// The next line without its line end, or false when it is longer than a list line may be; the
// rest of such a line is read past in pieces.
bool ReadLine(QIODevice &file, QByteArray *line)
{
    constexpr int piece = TJobListFile::MaxLineBytes + 16; // room for the line end
    *line = file.readLine(piece);
    bool fits = true;
    for (QByteArray rest = *line; !rest.endsWith('\n') && !rest.isEmpty() && !file.atEnd(); rest = file.readLine(piece))
        fits = false;
    if (line->endsWith('\n'))
        line->chop(1);
    if (line->endsWith('\r'))
        line->chop(1);
    return fits && line->size() <= TJobListFile::MaxLineBytes;
}

// False when CP932 lacks a character of text. ICU keeps its error flag through resetState(), so
// every call has an encoder of its own.
bool ToCp932(const QString &text, QByteArray *bytes)
{
    // Most cells are ASCII, which CP932 keeps as it is; opening a converter per cell would make
    // saving a long list slow.
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; })) {
        *bytes = text.toLatin1();
        return true;
    }
    QStringEncoder encoder(FileCodec, QStringEncoder::Flag::Stateless);
    *bytes = encoder.encode(text);
    return !encoder.hasError();
}

// A cell as written: nothing in it may end the line or the field, and characters CP932 lacks are
// not lost. In a URL they become percent-encoded UTF-8, which is what goes on the wire anyway.
// Control characters go too: loading refuses a line that holds one.
QByteArray EncodeField(const QString &cell, bool url)
{
    QString text;
    text.reserve(cell.size());
    for (const QChar c : cell) {
        if (c != u',' && (!IsDamage(c) || c == QChar::ReplacementCharacter))
            text += c;
        else if (url)
            text += QString::fromLatin1(QString(c).toUtf8().toPercentEncoding());
        else
            text += u' ';
    }
    QByteArray bytes;
    if (ToCp932(text, &bytes))
        return bytes;
    bytes.clear();
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        QByteArray encoded;
        if (ToCp932(one, &encoded))
            bytes += encoded;
        else
            bytes += url ? one.toUtf8().toPercentEncoding() : QByteArray("?");
    }
    return bytes;
}

// Hands each line of Lines that is not blank to Visit(number from 1, bytes, whether it fits the line
// bound) until Visit returns false or the lines end; stops at a read error of File too, which File
// then reports. Lines is File, or what was read of it.
template <typename TVisit>
void ForEachLine(QIODevice &Lines, const QFile &File, TVisit Visit)
{
    QByteArray bytes;
    for (int number = 1; !Lines.atEnd(); ++number) {
        const bool fits = ReadLine(Lines, &bytes);
        if (File.error() != QFileDevice::NoError)
            return;
        if (fits && bytes.trimmed().isEmpty())
            continue;
        if (!Visit(number, bytes, fits))
            return;
    }
}

// The refusal of a list whose "MAKE=" lines would offer more URLs than MaxMadeUrls, or an empty
// text. Counted before anything is loaded, so that a refused list leaves the job list as it was.
QString MadeUrlsRefusal(QIODevice &lines, const QFile &file, const TJobListFile::TMakeCount &offered)
{
    QString refusal;
    qint64 total = 0;
    QStringDecoder decoder(FileCodec, QStringDecoder::Flag::Stateless);
    ForEachLine(lines, file, [&](int number, const QByteArray &bytes, bool fits) {
        // Only "MAKE=" lines are decoded: the key is ASCII, so the bytes tell them.
        if (!fits || !bytes.left(MakeKey.size()).toUpper().startsWith(MakeKey.toLatin1()))
            return true;
        QStringList fields;
        const QString line = Decode(decoder, bytes);
        if (line.isEmpty() || !SplitFields(line, &fields))
            return true;
        total += std::max(0, offered(fields.value(0).mid(MakeKey.size()), fields.value(1), fields.value(2),
                                     fields.value(3), fields.value(4)));
        if (total <= TJobListFile::MaxMadeUrls)
            return true;
        refusal = QStringLiteral(
                      "%1: %2 行目までの MAKE= 行で URL が %3 件になり、一つのリストで作れる %4 件を超えます。"
                      "リストは読み込みませんでした。")
                      .arg(QDir::toNativeSeparators(file.fileName()))
                      .arg(number)
                      .arg(total)
                      .arg(TJobListFile::MaxMadeUrls);
        return false;
    });
    return refusal;
}

} // namespace

TJobListFile::TLoadReport TJobListFile::LoadList(TJobListModel &jobs, const QString &fileName,
                                                 const TMakeLines &makeLines)
{
    TLoadReport report;
    const int before = jobs.RowCount();
    QFile file(fileName);
    // A pipe is read once, so it is held whole for the count and the load.
    QBuffer held;
    QIODevice *lines = &file;
    if (file.open(QIODevice::ReadOnly) && makeLines.make && makeLines.offered) {
        if (file.isSequential()) {
            held.setData(file.readAll());
            held.open(QIODevice::ReadOnly);
            lines = &held;
        }
        report.error = MadeUrlsRefusal(*lines, file, makeLines.offered);
        if (!report.error.isEmpty())
            return report;
        lines->seek(0);
    }
    if (file.isOpen() && file.error() == QFileDevice::NoError) {
        QStringDecoder decoder(FileCodec, QStringDecoder::Flag::Stateless);
        ForEachLine(*lines, file, [&](int number, const QByteArray &bytes, bool fits) {
            const QString line = fits ? Decode(decoder, bytes) : QString();
            if (!line.isEmpty() && LoadLine(jobs, line, makeLines.make))
                return true;
            if (report.firstSkipped.size() < ReportedLines)
                report.firstSkipped.append(number);
            ++report.skippedLines;
            return true;
        });
    }
    if (file.error() != QFileDevice::NoError)
        report.error = TSafeFile::ErrorText(QStringLiteral("Cannot read"), fileName, file.errorString());
    report.rows = jobs.RowCount() - before;
    return report;
}

QString TJobListFile::SkippedLineNumbers(const TLoadReport &report)
{
    QStringList numbers;
    for (const int number : report.firstSkipped)
        numbers.append(QString::number(number));
    if (report.skippedLines > report.firstSkipped.size())
        numbers.append(QStringLiteral("…"));
    return numbers.join(QStringLiteral(", "));
}

bool TJobListFile::SaveList(const TJobListModel &jobs, const QString &fileName, QString *error)
{
    QByteArray bytes;
    for (int row = 0; row < jobs.RowCount(); ++row) {
        bytes += EncodeField(jobs.IsRunningRow(row) ? RunningCaption : jobs.Caption(row), false);
        for (int sub = 0; sub < SubItemCount; ++sub)
            bytes += ',' + EncodeField(jobs.Cell(row, sub), sub == SubURL);
        // Only parts carry it, so every other row keeps the line the Windows program writes.
        if (const QString version = jobs.Version(row); !version.isEmpty())
            bytes += ',' + EncodeField(version, false);
        bytes += "\r\n";
    }
    return TSafeFile::Write(fileName, bytes, error);
}

bool TJobListFile::SaveUrlText(const TJobListModel &jobs, const QString &fileName, QString *error)
{
    QByteArray bytes;
    for (int row = 0; row < jobs.RowCount(); ++row)
        if (jobs.Cell(row, SubDiv).isEmpty())
            bytes += EncodeField(jobs.Cell(row, SubURL), true) + "\r\n";
    return TSafeFile::Write(fileName, bytes, error);
}
