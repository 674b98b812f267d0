#pragma once

#include "core/THostGap.h"
#include "core/TRateCap.h"

#include <QList>
#include <QString>

class TIniFile;

// The main window's bounds as the settings file keeps them.
struct TWindowBounds {
    int top = 31;
    int left = 35;
    int width = 710;
    int height = 402;
    // The job list's column widths as the user left them, key "Columns" (w1,w2,...); empty: the defaults.
    QList<int> columns;

    static constexpr int MaxColumnWidth = 10000;
};

// Every setting of the program with its default; read once at the first showing of the main
// window and written back when it closes.
struct TSettings {
    QString URL = QStringLiteral("http://");
    QString Proxy;
    QString Ref;
    int Threads = 3; // highest worker slot in use: workers minus one, 0..8
    QString Cookie;
    int Gif = 0;
    int SRC = 1;
    int Sound1 = 1;
    int Sound2 = 1;
    int SNSize = 0;
    int Size20KB = 1;
    int FileType = 1;        // 1: long local names; anything else: short names
    int TimeOutCTR = 100;    // stall limit: about this many seconds without progress
    int Interval = 1000;     // scheduler timer, ms
    int MaxTries = 0;        // attempts after which a row that keeps failing is given up; 0: no limit
    int FollowRedirects = 0; // 1: fetches follow redirects; anything else: a 3xx ends the job
    int StartsPerTick = 1;   // rows the scheduler may start on one tick while workers are free
    int HostLimit = 0;       // rows of one host that may run at once; 0: no limit
    THostGap HostGap;        // least time between two starts to one host; 0: none
    QString CookieFile;      // cookies.txt or Firefox cookies.sqlite whose cookies go with requests; empty: none
    int Netrc = 0;           // 1: logins for URLs without one come from $NETRC or ~/.netrc
    int LazyImages = 0;      // 1: the page import also reads data-src, data-original and srcset
    TRateCap RateLimit;      // the whole program's download rate; 0: no cap
    int SkipDone = 0;        // 1: a row whose URL the download history holds ends without a request
    int Duplicates = 0;      // 1: a file whose content the history holds under another URL is removed
    QString HomePage = QStringLiteral("https://pelmor.example/");           // the maker's web page
    QString KairanURL = QStringLiteral("http://pelmor.example/kairan.txt"); // the notice board's text
    // The feedback mail: the SMTP server, the maker's mailbox and the anonymous sender's address.
    QString MailServer = QStringLiteral("mail.pelmor.example");
    int MailPort = 25;
    QString MailTo = QStringLiteral("feedback@pelmor.example");
    QString MailFrom = QStringLiteral("anonymous@pelmor.example");
    int MailTimeOut = 60; // seconds a silent mail server is waited for
    QString CAFile;       // a trust anchor for https servers beside the system's (PEM); empty: none
    TWindowBounds Window;

    static constexpr int MaxThreads = 8;
    static constexpr int MinInterval = 10;
    static constexpr int MaxInterval = 60000;
    static constexpr int MaxMailTimeOut = 3600;
    static constexpr int MaxStartsPerTick = MaxThreads + 1;
    static constexpr int MaxHostLimit = MaxThreads + 1;
    // Seconds a job may stall; 0 or less would time out every healthy slow download at once.
    static constexpr int MinTimeOutCTR = 1;
    static constexpr int MaxTimeOutCTR = 1000000;
    static bool ValidTimeOutCTR(int seconds) { return seconds >= MinTimeOutCTR && seconds <= MaxTimeOutCTR; }

    bool LongFileNames() const { return FileType == 1; }
    bool FollowsRedirects() const { return FollowRedirects == 1; }
    bool UsesNetrc() const { return Netrc == 1; }
    bool SkipsDone() const { return SkipDone == 1; }
    bool RemovesDuplicates() const { return Duplicates == 1; }

    void Load(const TIniFile &ini);
    void Save(TIniFile &ini) const;

    // pelmor.ini in the user's configuration folder.
    static QString DefaultFileName();
    // $XDG_CONFIG_HOME, else ~/.config.
    static QString ConfigFolder();
};
