#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real SMTP server on 127.0.0.1 (Debian's aiosmtpd) that keeps every message it accepts in a
// Maildir of its temp folder.
class TSmtpSink
{
public:
    TSmtpSink() = default;
    ~TSmtpSink();

    // False, with Error() telling why, when the server did not come up.
    bool Start();
    QString Error() const { return FError; }
    quint16 Port() const { return FPort; }
    // The files of the messages received so far.
    QStringList Messages() const;

private:
    QTemporaryDir FDir;
    QProcess FProcess;
    quint16 FPort = 0;
    QString FError;
};

// A received message taken apart by Python's email parser.
struct TParsedMail {
    QString Subject; // decoded
    QString Date;
    QString Body; // the text part, decoded
    QStringList AttachmentNames;
    QList<QByteArray> Attachments; // decoded from Base64
    QString Error;
};
TParsedMail ParseMail(const QString &messageFile);
