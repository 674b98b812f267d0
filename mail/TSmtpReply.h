#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// One reply of an SMTP server, taken line by line: a line that begins with a space or has "-"
// after its code is followed by another; the code is the number at the start of the last line.
class TSmtpReply
{
public:
    // Takes the next line; true when the reply is complete. Raises ESMTPException on a reply of
    // more than MaxLines lines or one whose last line has no code.
    bool Add(const QByteArray &line);

    int Code() const { return FCode; }
    // All lines, joined by line feeds.
    QString Text() const { return FLines.join(QLatin1Char('\n')); }
    const QStringList &Lines() const { return FLines; }

    static constexpr int MaxLines = 200;

private:
    QStringList FLines;
    int FCode = 0;
};
