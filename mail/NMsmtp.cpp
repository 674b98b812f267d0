#include "mail/NMsmtp.h"

#include <array>

// One operation at a time: the flag is set for the operation's whole run.
class TNMSMTP::TBusy
{
public:
    explicit TBusy(std::atomic<bool> &busy) : FBusy(busy), FTaken(!busy.exchange(true)) {}
    ~TBusy()
    {
        if (FTaken)
            FBusy = false;
    }
    bool Taken() const { return FTaken; }

private:
    std::atomic<bool> &FBusy;
    bool FTaken;
};

void TNMSMTP::Fail(TSmtpFault fault, const QString &text, int code, const QString &detail)
{
    throw ESMTPException(fault, text, code, detail);
}

int TNMSMTP::Command(const QString &line)
{
    // A line break inside a value would smuggle in a command of its own.
    if (line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n')))
        Fail(TSmtpFault::BadValue, QStringLiteral("Invalid character in command: ") + line.simplified(), 0,
             line.simplified());
    Call(OnStatus, line);
    FSocket.Write(line.toUtf8() + "\r\n");
    return ReadReply();
}

int TNMSMTP::ReadReply()
{
    FReply = TSmtpReply();
    while (!FReply.Add(FSocket.ReadLine())) {
    }
    return FReply.Code();
}

void TNMSMTP::Connect()
{
    const TBusy busy(FBusy);
    if (busy.Taken())
        DoConnect();
}

void TNMSMTP::DoConnect()
{
    try {
        FSocket.Connect(Host, Port, [this] { Call(OnHostResolved); });
    } catch (const ESMTPException &e) {
        if (e.Fault() == TSmtpFault::HostNotFound)
            Call(OnInvalidHost);
        else if (e.Fault() != TSmtpFault::Aborted)
            Call(OnConnectionFailed);
        throw;
    }
    try {
        if (ReadReply() >= 400)
            Refused();
        if (Command(QStringLiteral("HELO ") + UserID) >= 300)
            Fail(TSmtpFault::Refused, QStringLiteral("Authentication failed"), FReply.Code(), FReply.Text());
    } catch (const ESMTPException &) {
        FSocket.Close();
        throw;
    }
    Call(OnConnect);
}

void TNMSMTP::EnsureConnected()
{
    if (Connected())
        return;
    bool connect = false;
    if (OnConnectionRequired)
        OnConnectionRequired(connect);
    if (!connect)
        Fail(TSmtpFault::NotConnected, QStringLiteral("Connection required"));
    DoConnect();
}

void TNMSMTP::SendMail()
{
    const TBusy busy(FBusy);
    if (!busy.Taken())
        return;
    EnsureConnected();
    TPostMessage &m = PostMessage;
    if (m.FromAddress.isEmpty()
        || (m.ToAddress.isEmpty() && m.ToCarbonCopy.isEmpty() && m.ToBlindCarbonCopy.isEmpty())) {
        Call(OnHeaderIncomplete);
        Fail(TSmtpFault::Header, QStringLiteral("Incomplete Header"));
    }
    ComposeMessage();
    Call(OnSendStart);
    if (Command(QStringLiteral("RSET")) >= 400
        || Command(QStringLiteral("MAIL FROM:<") + m.FromAddress + QLatin1Char('>')) >= 400)
        Refused();
    for (const QStringList *list : {&m.ToAddress, &m.ToCarbonCopy, &m.ToBlindCarbonCopy}) {
        for (const QString &entry : *list) {
            const QString address = RecipientAddress(entry);
            if (!address.isEmpty() && Command(QStringLiteral("RCPT TO:<") + address + QLatin1Char('>')) > 300)
                Call(OnRecipientNotFound, address);
        }
    }
    if (Command(QStringLiteral("DATA")) >= 400)
        Refused();
    SendData();
    if (ReadReply() >= 400) {
        Call(OnFailure);
        Refused();
    }
    if (ClearParams) {
        m.ToAddress.clear();
        m.ToCarbonCopy.clear();
        m.ToBlindCarbonCopy.clear();
        m.Attachments.clear();
    }
    Call(OnSuccess);
}

void TNMSMTP::SendData()
{
    QByteArray header;
    for (const QString &line : std::as_const(FFinalHeader))
        header += line.toUtf8() + "\r\n";
    header += "\r\n\r\n";
    const QByteArray end = ".\r\n";
    const qint64 total = header.size() + FBody.size() + end.size();
    qint64 before = 0;
    for (const QByteArray *part : std::array<const QByteArray *, 3>{&header, &FBody, &end}) {
        FSocket.Write(*part, [&](qint64 sent) { Call(OnPacketSent, before + sent, total); });
        before += part->size();
    }
}

void TNMSMTP::Disconnect()
{
    const TBusy busy(FBusy);
    if (!busy.Taken() || !Connected())
        return;
    int code = 0;
    try {
        code = Command(QStringLiteral("QUIT"));
    } catch (const ESMTPException &) {
        FSocket.Close();
        Call(OnDisconnect);
        throw;
    }
    FSocket.Close();
    Call(OnDisconnect);
    if (code > 339)
        Refused();
}

bool TNMSMTP::Verify(const QString &user)
{
    const TBusy busy(FBusy);
    if (!busy.Taken())
        return false;
    EnsureConnected();
    return Command(QStringLiteral("VRFY ") + user) < 252;
}

void TNMSMTP::ExpandList(const QString &list)
{
    const TBusy busy(FBusy);
    if (!busy.Taken())
        return;
    EnsureConnected();
    if (Command(QStringLiteral("EXPN ") + list) < 400)
        Call(OnMailListReturn, FReply.Lines().first());
}

QString TNMSMTP::RecipientAddress(const QString &entry)
{
    const qsizetype open = entry.indexOf(QLatin1Char('<'));
    if (open >= 0) {
        const qsizetype close = entry.indexOf(QLatin1Char('>'), open + 1);
        return close < 0 ? entry.mid(open + 1) : entry.mid(open + 1, close - open - 1);
    }
    const qsizetype colon = entry.indexOf(QLatin1Char(':'));
    return colon >= 0 ? entry.mid(colon + 1) : entry;
}

QByteArray TNMSMTP::StuffDots(const QByteArray &line)
{
    return line.startsWith('.') ? '.' + line : line;
}
