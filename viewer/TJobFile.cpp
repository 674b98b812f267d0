#include "TJobFile.h"

#include "UrlUtil.h"

#include <QFileInfo>

namespace TJobFile {

QString ExistingPath(const QString &ProgramFolder, const QString &Url, bool LongNames)
{
    const QString path = LongNames ? UrlUtil::SetFileName(ProgramFolder, Url) : UrlUtil::SetFileNameS(ProgramFolder, Url);
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    return path;
}

} // namespace TJobFile
