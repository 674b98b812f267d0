#pragma once

#include "download/TCookieJar.h"
#include "download/TNetrc.h"

#include <QString>
#include <QStringList>

#include <memory>

class THttpCli;

// The files read once for a run of fetches: the cookie file and the .netrc. Never changed once
// loaded, so every worker thread shares them without locks.
struct TRunFiles {
    std::shared_ptr<const TCookieJar> cookies; // null: no cookie file
    std::shared_ptr<const TNetrc> netrc;       // null: .netrc not used
    QStringList warnings;                      // for the user; each also logged
    bool cookiesRefused = false;               // a cookie file was named and could not be read at all

    static TRunFiles Load(const QString &cookieFile, bool useNetrc);

    // The Cookie text for a request to url: the file's cookies that may go there, beside cookie.
    static QString CookieFor(const TCookieJar *cookies, const QString &url, const QString &cookie);
    // The .netrc login for host on cli, or none; a URL's own user still wins in the client, and the
    // client sends it to this server alone.
    static void SetLogin(THttpCli &cli, const TNetrc *netrc, const QString &host);
};
