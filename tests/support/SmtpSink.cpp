#include "tests/support/SmtpSink.h"

#include "tests/support/ScriptedServer.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace {
const QString Python = QStringLiteral("/usr/bin/python3");

QString ReadText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

TSmtpSink::~TSmtpSink()
{
    StopProcess(FProcess);
}

bool TSmtpSink::Start()
{
    FPort = UnusedLoopbackPort();
    // The server must not hold the test's output pipe open.
    FProcess.setStandardOutputFile(FDir.filePath(QStringLiteral("sink.log")));
    FProcess.setStandardErrorFile(FDir.filePath(QStringLiteral("sink.log")), QIODevice::Append);
    FProcess.start(Python,
                   {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("aiosmtpd"), QStringLiteral("-n"),
                    QStringLiteral("-l"), QStringLiteral("127.0.0.1:%1").arg(FPort), QStringLiteral("-c"),
                    QStringLiteral("aiosmtpd.handlers.Mailbox"), FDir.filePath(QStringLiteral("mail"))});
    // Up once it takes a connection; a failed start ends the process, which ends the wait between probes.
    bool up = false;
    for (int probes = 0; !up && probes < 200 && !FProcess.waitForFinished(100); ++probes) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, FPort);
        up = probe.waitForConnected(1000);
    }
    if (!up)
        FError = QStringLiteral("aiosmtpd did not start: ") + ReadText(FDir.filePath(QStringLiteral("sink.log")));
    return up;
}

QStringList TSmtpSink::Messages() const
{
    const QDir received(FDir.filePath(QStringLiteral("mail/new")));
    QStringList files;
    for (const QString &name : received.entryList(QDir::Files, QDir::Name))
        files.append(received.filePath(name));
    return files;
}

TParsedMail ParseMail(const QString &messageFile)
{
    TParsedMail mail;
    QTemporaryDir out;
    QProcess parser;
    parser.setProcessChannelMode(QProcess::MergedChannels);
    parser.start(Python, {QStringLiteral(PELMOR_TEST_SUPPORT "/parse_mail.py"), messageFile, out.path()});
    if (!parser.waitForFinished(30000) || parser.exitCode() != 0) {
        mail.Error = QString::fromUtf8(parser.readAll());
        return mail;
    }
    mail.Subject = ReadText(out.filePath(QStringLiteral("subject")));
    mail.Date = ReadText(out.filePath(QStringLiteral("date")));
    mail.Body = ReadText(out.filePath(QStringLiteral("body")));
    mail.AttachmentNames = ReadText(out.filePath(QStringLiteral("names"))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i <= mail.AttachmentNames.size(); ++i) {
        QFile file(out.filePath(QStringLiteral("attachment%1").arg(i)));
        mail.Attachments.append(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    return mail;
}
