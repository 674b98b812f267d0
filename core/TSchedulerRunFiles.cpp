// The files a run reads once for all its jobs: the cookie file and the .netrc.
#include "core/TScheduler.h"

#include "core/TSettings.h"
#include "download/NetLog.h"

QStringList TScheduler::LoadRunFiles(bool *cookiesRefused)
{
    QStringList warnings;
    FCookieJar.reset();
    FNetrc.reset();
    if (cookiesRefused)
        *cookiesRefused = false;
    if (!FSettings.CookieFile.isEmpty()) {
        const TCookieJar::TLoad cookies = TCookieJar::Load(FSettings.CookieFile);
        FCookieJar = cookies.jar;
        if (cookiesRefused)
            *cookiesRefused = !cookies.error.isEmpty();
        if (const QString warning = cookies.Warning(FSettings.CookieFile); !warning.isEmpty())
            warnings.append(warning);
    }
    if (FSettings.UsesNetrc()) {
        const TNetrc::TLoad netrc = TNetrc::Load(TNetrc::DefaultFileName());
        FNetrc = netrc.netrc;
        if (!netrc.warning.isEmpty())
            warnings.append(netrc.warning);
    }
    for (const QString &warning : std::as_const(warnings))
        qCWarning(lcNet, "%s", qUtf8Printable(warning));
    return warnings;
}
