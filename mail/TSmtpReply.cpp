#include "mail/TSmtpReply.h"

#include "mail/ESMTPException.h"

#include <cctype>

bool TSmtpReply::Add(const QByteArray &line)
{
    if (FLines.size() >= MaxLines)
        throw ESMTPException(TSmtpFault::BadReply, QStringLiteral("Reply too long"));
    FLines.append(QString::fromUtf8(line));
    if (line.startsWith(' ') || (line.size() > 3 && line[3] == '-'))
        return false;
    const bool numbered = line.size() >= 3 && std::isdigit(uchar(line[0])) && std::isdigit(uchar(line[1]))
                          && std::isdigit(uchar(line[2]));
    // Without a code no answer can be told from a refusal.
    if (!numbered) {
        const QString shown = QString::fromUtf8(line.left(80));
        throw ESMTPException(TSmtpFault::BadReply, QStringLiteral("Invalid reply: ") + shown, 0, shown);
    }
    FCode = line.left(3).toInt();
    return true;
}
