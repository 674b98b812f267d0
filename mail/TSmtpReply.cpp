#include "TSmtpReply.h"

#include "TLineSocket.h"

#include <cctype>

bool TSmtpReply::Add(const QByteArray &line)
{
    if (FLines.size() >= MaxLines)
        throw ESMTPException(QStringLiteral("Reply too long"), 0);
    FLines.append(QString::fromUtf8(line));
    if (line.startsWith(' ') || (line.size() > 3 && line[3] == '-'))
        return false;
    const bool numbered = line.size() >= 3 && std::isdigit(uchar(line[0])) && std::isdigit(uchar(line[1]))
                          && std::isdigit(uchar(line[2]));
    // Without a code no answer can be told from a refusal.
    if (!numbered)
        throw ESMTPException(QStringLiteral("Invalid reply: ") + QString::fromUtf8(line.left(80)), 0);
    FCode = line.left(3).toInt();
    return true;
}
