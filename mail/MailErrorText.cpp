#include "mail/MailErrorText.h"

namespace MailErrorText {

namespace {

QString WithDetail(const QString &sentence, const QString &detail)
{
    return detail.isEmpty() ? sentence : sentence + QLatin1Char('\n') + detail;
}

bool IsConnectionFault(TSmtpFault fault)
{
    switch (fault) {
    case TSmtpFault::HostNotFound:
    case TSmtpFault::ConnectFailed:
    case TSmtpFault::TimeOut:
    case TSmtpFault::Lost:
    case TSmtpFault::NotConnected:
        return true;
    default:
        return false;
    }
}

} // namespace

QString Sentence(TSmtpFault fault)
{
    switch (fault) {
    case TSmtpFault::HostNotFound:
        return QStringLiteral("ホストが見つかりません。");
    case TSmtpFault::ConnectFailed:
        return QStringLiteral("サーバー接続に失敗しました。");
    case TSmtpFault::TimeOut:
        return QStringLiteral("サーバーの応答がなく、時間切れになりました。");
    case TSmtpFault::Lost:
        return QStringLiteral("サーバーとの接続が切れました。");
    case TSmtpFault::Aborted:
        return QStringLiteral("中止しました。");
    case TSmtpFault::NotConnected:
        return QStringLiteral("サーバーに接続していません。");
    case TSmtpFault::Refused:
        return QStringLiteral("サーバーに断られました。");
    case TSmtpFault::BadReply:
        return QStringLiteral("サーバーの応答を読めません。");
    case TSmtpFault::Header:
        return QStringLiteral("差出人か宛先がありません。");
    case TSmtpFault::Attachment:
        return QStringLiteral("添付ファイルを読めません。");
    case TSmtpFault::TooLarge:
        return QStringLiteral("添付ファイルが大きすぎます。");
    case TSmtpFault::BadValue:
        return QStringLiteral("送信できない文字が含まれています。");
    }
    return Unexpected(QString());
}

QString Text(TSmtpFault fault, const QString &detail)
{
    return WithDetail(Sentence(fault), detail);
}

QString Of(const ESMTPException &e)
{
    if (IsConnectionFault(e.Fault()))
        return Text(e.Fault(), QStringLiteral("エラー番号 %1").arg(e.ErrorCode()));
    return Text(e.Fault(), e.Detail());
}

QString Unexpected(const QString &what)
{
    return WithDetail(QStringLiteral("予期しないエラーが起きました。"), what);
}

} // namespace MailErrorText
