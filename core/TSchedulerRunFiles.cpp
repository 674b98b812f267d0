// The files a run reads once for all its jobs: the cookie file and the .netrc.
#include "core/TScheduler.h"

#include "core/TSettings.h"
#include "download/TRunFiles.h"

QStringList TScheduler::LoadRunFiles(bool *cookiesRefused)
{
    const TRunFiles files = TRunFiles::Load(FSettings.CookieFile, FSettings.UsesNetrc());
    FCookieJar = files.cookies;
    FNetrc = files.netrc;
    if (cookiesRefused)
        *cookiesRefused = files.cookiesRefused;
    return files.warnings;
}
