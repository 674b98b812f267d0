#include "viewer/SPIFolders.h"

#include "core/TIniFile.h"
#include "core/TProgramFolder.h"
#include "core/TSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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
    const QString programFolder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    add(spsAppDir, programFolder);
    // An installed program keeps its plug-ins out of the binaries' folder; a build tree has no such folder.
    const QString installed = programFolder.isEmpty() ? QString()
                                                      : TProgramFolder::InstalledPluginFolder(programFolder);
    add(spsAppDir, QFileInfo(installed).isDir() ? installed : QString());
    add(spsCurrentDir, QDir::currentPath());
    // The shared libraries of the system, as the system folder holds them elsewhere.
    add(spsSystemDir, QLibraryInfo::path(QLibraryInfo::LibrariesPath));
    // The user's configuration folder, which also stands in for it as the home of pelmor.ini.
    add(spsWindowsDir, TSettings::ConfigFolder());
    return folders;
}
