// The files a run reads once for all its jobs: the cookie file and the .netrc.
#include "core/TScheduler.h"

#include "core/TSettings.h"
#include "download/TRunFiles.h"

QStringList TScheduler::LoadRunFiles(bool *cookiesRefused)
{
    FRunFiles = TRunFiles::Load(FSettings.CookieFile, FSettings.UsesNetrc());
    if (cookiesRefused)
        *cookiesRefused = FRunFiles.cookiesRefused;
    return FRunFiles.warnings;
}
