#include "core/TIniFile.h"

#include "core/TSafeFile.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {

const char *const FileCodec = "CP932";

// Blanks and control characters only: a full-width space belongs to the value.
QStringView trimmedView(QStringView s)
{
    while (!s.isEmpty() && s.front().unicode() <= 0x20)
        s = s.sliced(1);
    while (!s.isEmpty() && s.back().unicode() <= 0x20)
        s.chop(1);
    return s;
}

struct TEntry {
    enum TKind { Blank, Other, Section, Key } kind = Other;
    QStringView name;
    QStringView value;
};

TEntry parse(const QString &line)
{
    const QStringView t = trimmedView(line);
    if (t.isEmpty())
        return {TEntry::Blank, {}, {}};
    if (t.front() == u';')
        return {};
    if (t.front() == u'[') {
        const qsizetype close = t.indexOf(u']');
        return {TEntry::Section, trimmedView(t.sliced(1, (close < 0 ? t.size() : close) - 1)), {}};
    }
    const qsizetype eq = t.indexOf(u'=');
    if (eq < 0)
        return {}; // junk: kept, never read
    return {TEntry::Key, trimmedView(t.left(eq)), trimmedView(t.sliced(eq + 1))};
}

bool sameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A line break inside a value would split the line and could forge keys or sections.
QString oneLine(QString s)
{
    return s.replace(u'\r', u' ').replace(u'\n', u' ');
}

// Quotes protect what reading would strip: outer blanks and an outer pair of quotes.
QString protectedValue(const QString &value)
{
    const bool quotedAlready = value.size() >= 2 && value.front() == u'"' && value.back() == u'"';
    if (!quotedAlready && trimmedView(value).size() == value.size())
        return value;
    return u'"' + value + u'"';
}

} // namespace

TIniFile::TIniFile(const QString &fileName) : FFileName(fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    // Stateless: a broken double-byte character cannot swallow the next line.
    QStringDecoder decoder(FileCodec, QStringDecoder::Flag::Stateless);
    for (QByteArray &bytes : lines) {
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        FLines.append({decoder.decode(bytes), bytes});
    }
}

QString TIniFile::FileName() const
{
    return FFileName;
}

QString TIniFile::ReadString(const QString &section, const QString &key, const QString &def) const
{
    const TPlace place = Find(section, key);
    if (place.keyLine < 0)
        return def;
    QStringView value = parse(FLines[place.keyLine].text).value;
    if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"')
        value = value.sliced(1, value.size() - 2);
    return value.toString();
}

int TIniFile::ReadInteger(const QString &section, const QString &key, int def) const
{
    bool ok = false;
    const int value = ReadString(section, key, QString()).toInt(&ok, 10);
    return ok ? value : def;
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    const TLine line = MakeLine(oneLine(key) + u'=' + protectedValue(oneLine(value)));
    const TPlace place = Find(section, key);
    if (place.keyLine >= 0) {
        FLines[place.keyLine] = line;
    } else if (place.sectionEnd >= 0) {
        FLines.insert(place.sectionEnd, line);
    } else {
        FLines.append(MakeLine(u'[' + oneLine(section) + u']'));
        FLines.append(line);
    }
}

void TIniFile::WriteInteger(const QString &section, const QString &key, int value)
{
    WriteString(section, key, QString::number(value));
}

bool TIniFile::UpdateFile(QString *error)
{
    QByteArray bytes;
    for (const TLine &line : std::as_const(FLines))
        bytes += line.bytes + "\r\n";
    return TSafeFile::Write(FFileName, bytes, error);
}

TIniFile::TLine TIniFile::MakeLine(const QString &text)
{
    QStringEncoder encoder(FileCodec, QStringEncoder::Flag::Stateless);
    return {text, encoder.encode(text)};
}

// Keys of a section that appears twice are looked up in both; new keys go into its first
// occurrence, after its last non-blank line.
TIniFile::TPlace TIniFile::Find(const QString &section, const QString &key) const
{
    TPlace place;
    bool inSection = false;
    bool inFirstSection = false;
    for (qsizetype i = 0; i < FLines.size(); ++i) {
        const TEntry entry = parse(FLines[i].text);
        if (entry.kind == TEntry::Section) {
            inSection = sameName(entry.name, section);
            inFirstSection = inSection && place.sectionEnd < 0;
            if (inFirstSection)
                place.sectionEnd = i + 1;
        } else if (inSection && entry.kind == TEntry::Key && sameName(entry.name, key)) {
            place.keyLine = i;
            return place;
        } else if (inFirstSection && entry.kind != TEntry::Blank) {
            place.sectionEnd = i + 1;
        }
    }
    return place;
}
