#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// An INI document held in memory with private-profile semantics: names match case-insensitively,
// names and values are trimmed, a missing key yields the default, the first occurrence of a key wins.
// Text is CP932 on disk with CR LF line ends; lines never touched are written back byte for byte,
// so comments, unknown keys and even damaged lines survive an update.
class TIniFile
{
public:
    explicit TIniFile(const QString &fileName); // reads the file now; missing or unreadable = empty
    QString FileName() const;
    QString ReadString(const QString &section, const QString &key, const QString &def) const;
    int ReadInteger(const QString &section, const QString &key, int def) const; // decimal text; not a number -> def
    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, int value);
    // Writes the whole document to a temporary file beside the target, then renames it over the
    // target, so a failed write leaves the old file whole. On failure error gets the reason.
    bool UpdateFile(QString *error = nullptr);

private:
    struct TLine {
        QString text;
        QByteArray bytes; // as on disk, without the line end
    };
    struct TPlace {
        qsizetype keyLine = -1;    // line holding the key
        qsizetype sectionEnd = -1; // where a new key of the section goes; -1: no such section
    };

    static TLine MakeLine(const QString &text);
    TPlace Find(const QString &section, const QString &key) const;

    QString FFileName;
    QList<TLine> FLines;
};
