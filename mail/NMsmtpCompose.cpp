#include "mail/NMsmtp.h"

#include "core/jconvert.h"
#include "mail/MailText.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTime>

namespace {

const QByteArray CRLF = "\r\n";
// Base64 lines of 60 characters.
constexpr qsizetype LineBytes = 45;
// A message past this is refused before it is composed whole in memory; no mail server takes one.
constexpr qint64 MaxMessageBytes = 100 * 1024 * 1024;

QString Spaces(int n)
{
    return QString(n, QLatin1Char(' '));
}

// A header value on one line: a line break inside it would start a header of its own.
QString HeaderValue(QString value)
{
    return value.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

// The body's lines as they go out, and the character set they are in: plain ASCII as it is,
// anything else in JIS so that it travels in seven bits and is labelled truly.
QByteArray BodyText(const QStringList &body, QByteArray &charset)
{
    QStringList lines;
    for (const QString &entry : body)
        lines += QString(entry)
                     .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                     .split(QRegularExpression(QStringLiteral("[\r\n]")));
    const bool ascii = MailText::IsAscii(lines.join(QString()));
    charset = ascii ? "us-ascii" : "ISO-2022-JP";
    QByteArray text;
    for (const QString &line : std::as_const(lines))
        text += TNMSMTP::StuffDots(ascii ? line.toLatin1() : MailText::ToJis(line)) + CRLF;
    return text;
}

} // namespace

void TNMSMTP::ComposeMessage()
{
    FFinalHeader.clear();
    FBody.clear();
    try {
        const TPostMessage &m = PostMessage;
        FFinalHeader << QStringLiteral("From: ") + HeaderValue(m.FromName) + QLatin1Char('<')
                            + HeaderValue(m.FromAddress) + QLatin1Char('>');
        if (!m.ToAddress.isEmpty())
            FFinalHeader << QStringLiteral("To: ") + HeaderValue(m.ToAddress.join(QLatin1Char(',')));
        if (!m.ToCarbonCopy.isEmpty())
            FFinalHeader << QStringLiteral("CC: ") + HeaderValue(m.ToCarbonCopy.join(QLatin1Char(',')));
        FFinalHeader << QStringLiteral("Subject: ") + HeaderValue(m.Subject)
                     << QStringLiteral("X-Mailer: ") + HeaderValue(m.LocalProgram);
        if (!m.ReplyTo.isEmpty())
            FFinalHeader << QStringLiteral("Reply-To: ") + HeaderValue(m.ReplyTo);
        if (!m.Date.isEmpty())
            FFinalHeader << QStringLiteral("Date: ") + HeaderValue(m.Date);
        FFinalHeader << QStringLiteral("Mime-Version: 1.0");

        QByteArray charset;
        const QByteArray text = BodyText(m.Body, charset);
        const QString textType = QStringLiteral("Content-Type: text/plain;") + Spaces(24) + QStringLiteral("charset=")
                                 + QString::fromLatin1(charset);
        if (m.Attachments.isEmpty()) {
            FFinalHeader << textType;
            FBody = text;
            return;
        }
        const QByteArray boundary = "====================54535"
                                    + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toLatin1() + "====";
        FFinalHeader << QStringLiteral("Content-Type: multipart/mixed;") + Spaces(19) + QStringLiteral("boundary=\"")
                            + QString::fromLatin1(boundary) + QLatin1Char('"');
        FBody = "--" + boundary + CRLF + textType.toLatin1() + CRLF + CRLF + text;
        for (const QString &path : m.Attachments)
            ComposeAttachment(path, boundary);
        FBody += "--" + boundary + "--" + CRLF;
    } catch (...) {
        // Nothing half-composed may be sent later.
        FFinalHeader.clear();
        FBody.clear();
        throw;
    }
}

bool TNMSMTP::OpenAttachment(QFile &file)
{
    return QFileInfo(file.fileName()).isFile() && file.open(QIODevice::ReadOnly);
}

void TNMSMTP::ComposeAttachment(const QString &path, const QByteArray &boundary)
{
    const QFileInfo info(path);
    QFile file(path);
    if (!OpenAttachment(file))
        Fail(TSmtpFault::Attachment, QStringLiteral("Cannot open the attachment ") + path, 0, path);
    if (FBody.size() + file.size() / 3 * 4 > MaxMessageBytes)
        Fail(TSmtpFault::TooLarge, QStringLiteral("The attachment is too large: ") + path, 0, path);
    const QString fileName = info.fileName();
    const QByteArray name = MailText::MimeName(fileName);
    Call(OnEncodeStart, fileName);
    FBody += "--" + boundary + CRLF + "Content-Type: application/octet-stream;" + Spaces(10).toLatin1() + "name=\""
             + name + '"' + CRLF + "Content-Transfer-Encoding: base64" + CRLF + "Content-Disposition: attachment;"
             + Spaces(17).toLatin1() + "filename=\"" + name + '"' + CRLF + CRLF;
    FBody.reserve(FBody.size() + file.size() / 45 * 62 + 64);
    QByteArray pending;
    for (;;) {
        const QByteArray piece = file.read(1024 * LineBytes);
        if (piece.isEmpty() && file.error() != QFileDevice::NoError)
            Fail(TSmtpFault::Attachment,
                 QStringLiteral("Cannot read the attachment ") + path + QStringLiteral(": ") + file.errorString(), 0,
                 path);
        pending += piece;
        const bool atEnd = piece.isEmpty();
        qsizetype used = 0;
        while (pending.size() - used >= LineBytes || (atEnd && used < pending.size())) {
            FBody += jconvert::EncodeBase64(pending.mid(used, LineBytes)) + CRLF;
            used += LineBytes;
        }
        pending.remove(0, std::min(used, pending.size()));
        if (atEnd)
            break;
        if (FBody.size() > MaxMessageBytes)
            Fail(TSmtpFault::TooLarge, QStringLiteral("The attachment is too large: ") + path, 0, path);
    }
    Call(OnEncodeEnd, fileName);
}
