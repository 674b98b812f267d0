#include "TJobListFile.h"

#include "TJobListModel.h"
#include "TSafeFile.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace {

const char *const FileCodec = "CP932";
constexpr int MaxFields = 20;
const QString RunningCaption = QStringLiteral("※");

QString Decode(QStringDecoder &decoder, const QByteArray &bytes)
{
    // A lead byte cut off at the end would vanish without trace; the blank after it makes the
    // decoder mark it as a bad character, and is then dropped.
    QString text = decoder.decode(bytes + ' ');
    text.chop(1);
    return text;
}

// One line of a list. Returns false when the line is skipped as bad.
bool LoadLine(TJobListModel &jobs, const QByteArray &line, QStringDecoder &decoder,
              const TJobListFile::TMakeRecord &makeRecord)
{
    // Split before decoding: a comma is never part of a double-byte character, so damage
    // stays inside its own field.
    const QList<QByteArray> parts = line.split(',');
    if (parts.size() > MaxFields)
        return false;
    QStringList fields;
    for (const QByteArray &part : parts)
        fields.append(Decode(decoder, part));
    const QString first = fields.value(0);

    // Local "file://" rows are saved like any other; read them back too, or they vanish at the next start.
    const QString url = fields.value(1);
    if (url.startsWith(QStringLiteral("HTTP://"), Qt::CaseInsensitive) || url.startsWith(QStringLiteral("file://")))
        jobs.UpdateRowImage(jobs.AppendRow(first, fields.mid(1)));
    if (first.startsWith(QStringLiteral("URL="), Qt::CaseInsensitive)) {
        const QString dash = QStringLiteral("-");
        jobs.UpdateRowImage(jobs.AppendRow(QStringLiteral("(..)"),
                                           {first.mid(4), dash, QStringLiteral("???"), dash, QStringLiteral(">"),
                                            dash, dash, QStringLiteral("Ready"), dash, dash}));
    }
    if (first.startsWith(QStringLiteral("MAKE="), Qt::CaseInsensitive) && makeRecord)
        return makeRecord(first.mid(5), fields.value(1), fields.value(2), fields.value(3), fields.value(4));
    return true;
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
QByteArray EncodeField(QString text, bool url)
{
    static const char *const breakers[][2] = {{",", "%2C"}, {"\r", "%0D"}, {"\n", "%0A"}};
    for (const auto &pair : breakers)
        text.replace(QLatin1String(pair[0]), url ? QLatin1String(pair[1]) : QLatin1String(" "));
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

} // namespace

TJobListFile::TLoadReport TJobListFile::LoadList(TJobListModel &jobs, const QString &fileName,
                                                 const TMakeRecord &makeRecord)
{
    TLoadReport report;
    const int before = jobs.RowCount();
    QFile file(fileName);
    if (file.open(QIODevice::ReadOnly)) {
        QStringDecoder decoder(FileCodec, QStringDecoder::Flag::Stateless);
        while (!file.atEnd()) {
            QByteArray line = file.readLine();
            if (file.error() != QFileDevice::NoError)
                break;
            if (line.endsWith('\n'))
                line.chop(1);
            if (line.endsWith('\r'))
                line.chop(1);
            if (!line.trimmed().isEmpty() && !LoadLine(jobs, line, decoder, makeRecord))
                ++report.skippedLines;
        }
    }
    if (file.error() != QFileDevice::NoError)
        report.error = TSafeFile::ErrorText(QStringLiteral("Cannot read"), fileName, file.errorString());
    report.rows = jobs.RowCount() - before;
    return report;
}

bool TJobListFile::SaveList(const TJobListModel &jobs, const QString &fileName, QString *error)
{
    QByteArray bytes;
    for (int row = 0; row < jobs.RowCount(); ++row) {
        bytes += EncodeField(jobs.IsRunningRow(row) ? RunningCaption : jobs.Caption(row), false);
        for (int sub = 0; sub < SubItemCount; ++sub)
            bytes += ',' + EncodeField(jobs.Cell(row, sub), sub == SubURL);
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
