#include "SPIFolders.h"

#include "TIniFile.h"
#include "TSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>

QString SusiePluginFolder()
{
    const QString path = qEnvironmentVariable("SUSIE_PLUGIN_PATH");
    if (!path.isEmpty())
        return path;
    const TIniFile ini(TSettings::ConfigFolder() + QStringLiteral("/susie.ini"));
    return ini.ReadString(QStringLiteral("Plug-in"), QStringLiteral("Path"), QString());
}

QStringList SPISearchFolders(TSPISearchOptions Options)
{
    QStringList folders;
    auto add = [&](TSPISearchOption option, const QString &folder) {
        if (Options.testFlag(option) && !folder.isEmpty())
            folders.append(folder);
    };
    add(spsSusieDir, Options.testFlag(spsSusieDir) ? SusiePluginFolder() : QString());
    add(spsAppDir, QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString());
    add(spsCurrentDir, QDir::currentPath());
    // The shared libraries of the system, as the system folder holds them elsewhere.
    add(spsSystemDir, QLibraryInfo::path(QLibraryInfo::LibrariesPath));
    // The user's configuration folder, which also stands in for it as the home of pelmor.ini.
    add(spsWindowsDir, TSettings::ConfigFolder());
    return folders;
}
