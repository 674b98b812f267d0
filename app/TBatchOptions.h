#pragma once

#include "core/THostGap.h"
#include "core/TRateCap.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The command line of "pelmor --batch": what to fetch and how.
struct TBatchOptions {
    struct TMake {
        QString pattern;
        int start = 0;
        int end = 0;
        int length = 0;
    };
    // Sources in the order given: lists, URL files, patterns, single URLs, URLs to split and pages
    // whose links are imported.
    struct TSource {
        enum Kind { List, Urls, Make, Add, Split, Import } kind = Add;
        QString text;
        TMake make;
    };

    QList<TSource> sources;
    QString iniFile;
    QString folder;
    int threads = 0;                   // 1..9; 0: from the settings
    int interval = 0;                  // ms; 0: from the settings
    int timeOut = -1;                  // TimeOutCTR; -1: from the settings
    int maxTries = 0;                  // attempts per job; 0: from the settings
    int maxWait = 300;                 // seconds a busy server may have a job wait; a longer wait gives it up
    int startsPerTick = 0;             // 1..9; 0: from the settings
    int hostLimit = -1;                // rows of one host at once, 0 (no limit)..9; -1: from the settings
    std::optional<THostGap> hostGap;   // from the settings when not given
    bool location = false;             // follow redirects, whatever the settings say
    QString cookieFile;                // cookies.txt or cookies.sqlite; empty: CookieFile of the settings
    bool netrc = false;                // logins from $NETRC or ~/.netrc, whatever the settings say
    std::optional<TRateCap> limitRate; // the download cap; from the settings when not given
    bool lazyImages = false;           // --import also reads lazy and srcset image addresses
    bool skipDone = false;             // end rows the download history holds, whatever the settings say
    int duplicates = -1; // 0: keep a file of content already recorded, 1: remove it; -1: from the settings
    bool quiet = false;  // print only the jobs that failed
    bool help = false;   // print the usage and fetch nothing
    QString saveFile;
    QString catalogueFile; // thumbnails of the jobs' files, written when done
    QString error;         // a usage error, with its reason

    // commandLine without the program name; "--batch" may be among it.
    static TBatchOptions Parse(const QStringList &commandLine);
};
