#include "download/THostCookies.h"

void THostCookies::Store(const QString &host, const QString &cookie, bool overHttps)
{
    FCookies.insert(host, {cookie, overHttps});
}

QString THostCookies::ForRequest(const QString &host, bool overHttps) const
{
    const auto found = FCookies.constFind(host);
    if (found == FCookies.constEnd() || (found->overHttps && !overHttps))
        return {};
    return found->text;
}

void THostCookies::Forget(const QString &host)
{
    FCookies.remove(host);
}
