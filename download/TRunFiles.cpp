#include "download/TRunFiles.h"

#include "download/HttpProt.h"
#include "download/NetLog.h"

#include <QDateTime>

TRunFiles TRunFiles::Load(const QString &cookieFile, bool useNetrc)
{
    TRunFiles files;
    if (!cookieFile.isEmpty()) {
        const TCookieJar::TLoad cookies = TCookieJar::Load(cookieFile);
        files.cookies = cookies.jar;
        files.cookiesRefused = !cookies.error.isEmpty();
        if (const QString warning = cookies.Warning(cookieFile); !warning.isEmpty())
            files.warnings.append(warning);
    }
    if (useNetrc) {
        const TNetrc::TLoad netrc = TNetrc::Load(TNetrc::DefaultFileName());
        files.netrc = netrc.netrc;
        if (!netrc.warning.isEmpty())
            files.warnings.append(netrc.warning);
    }
    for (const QString &warning : std::as_const(files.warnings))
        qCWarning(lcNet, "%s", qUtf8Printable(warning));
    return files;
}

QString TRunFiles::CookieFor(const TCookieJar *cookies, const QString &url, const QString &cookie)
{
    return cookies ? cookies->HeaderFor(url, QDateTime::currentSecsSinceEpoch(), cookie) : cookie;
}

void TRunFiles::SetLogin(THttpCli &cli, const TNetrc *netrc, const QString &host)
{
    const std::optional<TNetrc::TLogin> login = netrc ? netrc->For(host) : std::nullopt;
    cli.Username = login ? login->login : QString();
    cli.Password = login ? login->password : QString();
}
