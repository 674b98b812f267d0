#include "core/TSettings.h"

#include "core/BaseLog.h"
#include "core/TIniFile.h"

#include <QDir>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>

namespace {
const QString Data = QStringLiteral("Data");
const QString Window = QStringLiteral("Window");

// Widths as "w1,w2,..."; a list with any entry that is no width at all is dropped whole.
QList<int> ParseColumnWidths(const QString &text)
{
    QList<int> widths;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int width = part.trimmed().toInt(&ok);
        if (!ok || width < 1 || width > TWindowBounds::MaxColumnWidth)
            return {};
        widths.append(width);
    }
    return widths;
}

bool HasKey(const TIniFile &ini, const char *key)
{
    // No value a file can hold reads as a line end.
    const QString missing = QStringLiteral("\n");
    return ini.ReadString(Data, QLatin1String(key), missing) != missing;
}

QString ColumnWidthsText(const QList<int> &widths)
{
    QStringList parts;
    for (const int width : widths)
        parts.append(QString::number(width));
    return parts.join(QLatin1Char(','));
}
} // namespace

void TSettings::Load(const TIniFile &ini)
{
    const TSettings d;
    URL = ini.ReadString(Data, "URL", d.URL);
    Proxy = ini.ReadString(Data, "Proxy", d.Proxy);
    Ref = ini.ReadString(Data, "Ref", d.Ref);
    // Only an edited file holds other values; the scheduler needs a slot index.
    Threads = std::clamp(ini.ReadInteger(Data, "Threads", d.Threads), 0, MaxThreads);
    Cookie = ini.ReadString(Data, "Cookie", d.Cookie);
    Gif = ini.ReadInteger(Data, "Gif", d.Gif);
    SRC = ini.ReadInteger(Data, "SRC", d.SRC);
    Sound1 = ini.ReadInteger(Data, "Sound1", d.Sound1);
    Sound2 = ini.ReadInteger(Data, "Sound2", d.Sound2);
    SNSize = ini.ReadInteger(Data, "SNSize", d.SNSize);
    Size20KB = ini.ReadInteger(Data, "Size20KB", d.Size20KB);
    FileType = ini.ReadInteger(Data, "FileType", d.FileType);
    const int timeOut = ini.ReadInteger(Data, "TimeOutCTR", d.TimeOutCTR);
    TimeOutCTR = ValidTimeOutCTR(timeOut) ? timeOut : d.TimeOutCTR;
    HomePage = ini.ReadString(Data, "HomePage", d.HomePage);
    KairanURL = ini.ReadString(Data, "KairanURL", d.KairanURL);
    Interval = std::clamp(ini.ReadInteger(Data, "Interval", d.Interval), MinInterval, MaxInterval);
    MaxTries = std::max(0, ini.ReadInteger(Data, "MaxTries", d.MaxTries));
    FollowRedirects = ini.ReadInteger(Data, "FollowRedirects", d.FollowRedirects);
    // Pacing an edited file gets wrong falls back to today's: one start per tick, no host rule.
    const int starts = ini.ReadInteger(Data, "StartsPerTick", d.StartsPerTick);
    StartsPerTick = starts >= 1 && starts <= MaxStartsPerTick ? starts : d.StartsPerTick;
    const int hostLimit = ini.ReadInteger(Data, "HostLimit", d.HostLimit);
    HostLimit = hostLimit >= 0 && hostLimit <= MaxHostLimit ? hostLimit : d.HostLimit;
    HostGap = THostGap::Parse(ini.ReadString(Data, "HostGap", d.HostGap.Text())).value_or(d.HostGap);
    CookieFile = ini.ReadString(Data, "CookieFile", d.CookieFile);
    Netrc = ini.ReadInteger(Data, "Netrc", d.Netrc);
    LazyImages = ini.ReadInteger(Data, "LazyImages", d.LazyImages);
    const QString rate = ini.ReadString(Data, "RateLimit", d.RateLimit.Text());
    if (const std::optional<TRateCap> cap = TRateCap::Parse(rate)) {
        RateLimit = *cap;
    } else {
        RateLimit = d.RateLimit;
        qCWarning(lcBase, "RateLimit \"%s\" is no rate (such as 500K or 2M); no cap is set", qUtf8Printable(rate));
    }
    // Anything but 1 is today's behaviour: every row fetched, every copy kept.
    SkipDone = ini.ReadInteger(Data, "SkipDone", d.SkipDone) == 1 ? 1 : 0;
    Duplicates = ini.ReadInteger(Data, "Duplicates", d.Duplicates) == 1 ? 1 : 0;
    MailServer = ini.ReadString(Data, "MailServer", d.MailServer);
    const int port = ini.ReadInteger(Data, "MailPort", d.MailPort);
    MailPort = port >= 1 && port <= 65535 ? port : d.MailPort;
    MailTo = ini.ReadString(Data, "MailTo", d.MailTo);
    MailFrom = ini.ReadString(Data, "MailFrom", d.MailFrom);
    MailTimeOut = std::clamp(ini.ReadInteger(Data, "MailTimeOut", d.MailTimeOut), 1, MaxMailTimeOut);
    CAFile = ini.ReadString(Data, "CAFile", d.CAFile);
    Window.top = ini.ReadInteger(::Window, "Top", d.Window.top);
    Window.left = ini.ReadInteger(::Window, "Left", d.Window.left);
    Window.width = ini.ReadInteger(::Window, "Width", d.Window.width);
    Window.height = ini.ReadInteger(::Window, "Height", d.Window.height);
    Window.columns = ParseColumnWidths(ini.ReadString(::Window, "Columns", QString()));
}

void TSettings::Save(TIniFile &ini) const
{
    ini.WriteString(Data, "URL", URL);
    ini.WriteString(Data, "Proxy", Proxy);
    ini.WriteString(Data, "Ref", Ref);
    ini.WriteString(Data, "Cookie", Cookie);
    ini.WriteInteger(Data, "Gif", Gif);
    ini.WriteInteger(Data, "SRC", SRC);
    ini.WriteInteger(Data, "Sound1", Sound1);
    ini.WriteInteger(Data, "Sound2", Sound2);
    ini.WriteInteger(Data, "SNSize", SNSize);
    ini.WriteInteger(Data, "Size20KB", Size20KB);
    ini.WriteInteger(Data, "FileType", FileType);
    ini.WriteInteger(Data, "TimeOutCTR", TimeOutCTR);
    ini.WriteInteger(Data, "Threads", Threads);
    ini.WriteInteger(Data, "Interval", Interval);
    ini.WriteInteger(Data, "MaxTries", MaxTries);
    ini.WriteString(Data, "HomePage", HomePage);
    ini.WriteString(Data, "KairanURL", KairanURL);
    ini.WriteString(Data, "MailServer", MailServer);
    ini.WriteInteger(Data, "MailPort", MailPort);
    ini.WriteString(Data, "MailTo", MailTo);
    ini.WriteString(Data, "MailFrom", MailFrom);
    ini.WriteInteger(Data, "MailTimeOut", MailTimeOut);
    ini.WriteString(Data, "CAFile", CAFile);
    ini.WriteInteger(Data, "FollowRedirects", FollowRedirects);
    // The pacing keys appear once set: a file never set reads as it always did, and one set back to
    // the default says so.
    const TSettings d;
    if (StartsPerTick != d.StartsPerTick || HasKey(ini, "StartsPerTick"))
        ini.WriteInteger(Data, "StartsPerTick", StartsPerTick);
    if (HostLimit != d.HostLimit || HasKey(ini, "HostLimit"))
        ini.WriteInteger(Data, "HostLimit", HostLimit);
    if (HostGap != d.HostGap || HasKey(ini, "HostGap"))
        ini.WriteString(Data, "HostGap", HostGap.Text());
    // So do the cookie file and .netrc keys.
    if (CookieFile != d.CookieFile || HasKey(ini, "CookieFile"))
        ini.WriteString(Data, "CookieFile", CookieFile);
    if (Netrc != d.Netrc || HasKey(ini, "Netrc"))
        ini.WriteInteger(Data, "Netrc", Netrc);
    if (LazyImages != d.LazyImages || HasKey(ini, "LazyImages"))
        ini.WriteInteger(Data, "LazyImages", LazyImages);
    if (RateLimit != d.RateLimit || HasKey(ini, "RateLimit"))
        ini.WriteString(Data, "RateLimit", RateLimit.Text());
    if (SkipDone != d.SkipDone || HasKey(ini, "SkipDone"))
        ini.WriteInteger(Data, "SkipDone", SkipDone);
    if (Duplicates != d.Duplicates || HasKey(ini, "Duplicates"))
        ini.WriteInteger(Data, "Duplicates", Duplicates);
    ini.WriteInteger(::Window, "Top", Window.top);
    ini.WriteInteger(::Window, "Left", Window.left);
    ini.WriteInteger(::Window, "Width", Window.width);
    ini.WriteInteger(::Window, "Height", Window.height);
    if (!Window.columns.isEmpty())
        ini.WriteString(::Window, "Columns", ColumnWidthsText(Window.columns));
}

QString TSettings::ConfigFolder()
{
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    return config.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : config;
}

QString TSettings::DefaultFileName()
{
    return ConfigFolder() + QStringLiteral("/pelmor.ini");
}
