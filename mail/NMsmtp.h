#pragma once

#include "mail/TLineSocket.h"
#include "mail/TSmtpReply.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// The message a TNMSMTP sends; Attachments holds file paths.
struct TPostMessage {
    QString FromAddress;
    QString FromName;
    QString Subject;
    QString ReplyTo;
    QString Date;
    QString LocalProgram;
    QStringList ToAddress;
    QStringList ToCarbonCopy;
    QStringList ToBlindCarbonCopy;
    QStringList Body;
    QStringList Attachments;
};

// An SMTP client over its own blocking connection: every operation runs to its end on the calling
// thread and reports through the events, called on that thread. Failures raise ESMTPException.
class TNMSMTP
{
public:
    QString Host;
    int Port = 25;
    QString UserID; // the HELO name
    bool ClearParams = true;
    TPostMessage PostMessage;

    // Connects, reads the greeting and says HELO.
    void Connect();
    void SendMail();
    // QUIT; the connection is closed in any case.
    void Disconnect();
    // VRFY: true when the server knows the user.
    bool Verify(const QString &user);
    // EXPN: the first line of a list's expansion goes to OnMailListReturn.
    void ExpandList(const QString &list);
    // Ends the operation under way and every later one; safe from any thread.
    void Abort() { FSocket.Abort(); }
    // Drops the connection without a word to the server.
    void Close() { FSocket.Close(); }

    bool Connected() const { return FSocket.Connected(); }
    bool Busy() const { return FBusy; }
    int ReplyNumber() const { return FReply.Code(); }
    QString ReplyText() const { return FReply.Text(); }
    const QStringList &FinalHeader() const { return FFinalHeader; }
    // The composed body of the message being sent.
    const QByteArray &Body() const { return FBody; }
    void SetTimeOut(int ms) { FSocket.TimeOutMs = ms; }

    // Fills FinalHeader and Body from PostMessage; raises when an attachment cannot be read.
    void ComposeMessage();
    // Opens a file for reading if it can be attached: folders and devices cannot.
    static bool OpenAttachment(QFile &file);

    std::function<void()> OnConnect;
    std::function<void()> OnDisconnect;
    // The command being sent to the server.
    std::function<void(const QString &)> OnStatus;
    std::function<void()> OnHostResolved;
    std::function<void()> OnInvalidHost;
    std::function<void()> OnConnectionFailed;
    // Asked when an operation needs a connection; setting the flag connects first.
    std::function<void(bool &connect)> OnConnectionRequired;
    std::function<void()> OnSendStart;
    std::function<void(qint64 sent, qint64 total)> OnPacketSent;
    std::function<void(const QString &fileName)> OnEncodeStart;
    std::function<void(const QString &fileName)> OnEncodeEnd;
    std::function<void(const QString &address)> OnRecipientNotFound;
    std::function<void()> OnHeaderIncomplete;
    std::function<void()> OnSuccess;
    std::function<void()> OnFailure;
    std::function<void(const QString &line)> OnMailListReturn;

    // The address an RCPT TO names for one recipient entry: the part in angle brackets, else the
    // part after a colon, else the whole text.
    static QString RecipientAddress(const QString &entry);
    // A body line as it goes out: with a second "." in front when it begins with one.
    static QByteArray StuffDots(const QByteArray &line);

private:
    class TBusy;
    template <typename F, typename... A>
    static void Call(const F &event, const A &...args)
    {
        if (event)
            event(args...);
    }
    // Sends one command line and reads the reply; returns its code.
    int Command(const QString &line);
    int ReadReply();
    void DoConnect();
    void EnsureConnected();
    [[noreturn]] static void Fail(TSmtpFault fault, const QString &text, int code = 0, const QString &detail = {});
    // Ends the operation with the server's last reply.
    [[noreturn]] void Refused() { Fail(TSmtpFault::Refused, FReply.Text(), FReply.Code(), FReply.Text()); }
    void ComposeAttachment(const QString &path, const QByteArray &boundary);
    void SendData();

    TLineSocket FSocket;
    std::atomic<bool> FBusy{false};
    TSmtpReply FReply;
    QStringList FFinalHeader;
    QByteArray FBody;
};
