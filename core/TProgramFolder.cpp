#include "core/TProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString Clean(const QString &folder)
{
    QString clean = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    if (clean.size() > 1 && clean.endsWith(QLatin1Char('/')))
        clean.chop(1);
    return clean;
}

QString UserDataFolder()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/pelmor");
}

} // namespace

QString TProgramFolder::Resolve(const QString &overrideFolder)
{
    if (!overrideFolder.isEmpty())
        return Clean(QFileInfo(overrideFolder).absoluteFilePath());
    const QString programFolder = QCoreApplication::applicationDirPath();
    // An installed program never writes beside itself, not even when run by root, who may write anywhere.
    const bool installed = QFileInfo(InstalledPluginFolder(programFolder)).isDir();
    if (!installed && QFileInfo(programFolder).isWritable())
        return Clean(programFolder);
    return Clean(UserDataFolder());
}

QString TProgramFolder::InstalledPluginFolder(const QString &programFolder)
{
    return Clean(programFolder + QStringLiteral("/../lib/pelmor"));
}

TProgramFolder::TTmpState TProgramFolder::PrepareTmp(const QString &folder)
{
    const QString tmp = folder + QStringLiteral("/tmp");
    if (QFileInfo(tmp).isDir())
        return TTmpState::Existed;
    return QDir().mkpath(tmp) ? TTmpState::Created : TTmpState::Failed;
}
