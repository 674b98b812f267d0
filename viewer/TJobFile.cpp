#include "TJobFile.h"

#include "LocalFileName.h"

#include <QFileInfo>

namespace TJobFile {

QString ExistingPath(const QString &ProgramFolder, const QString &Url, bool LongNames)
{
    // The worker's own rule, fallback names included: a file it saved under one is found.
    const QString path = LocalFileName::For(ProgramFolder, Url, LongNames);
    if (!QFileInfo(path).isFile())
        return {};
    return path;
}

} // namespace TJobFile
