#include "core/TJobFile.h"

#include "core/TJobListModel.h"

#include <QFileInfo>

namespace TJobFile {

QString ExistingPath(const TJobListModel &Jobs, int Row, const QString &ProgramFolder, bool LongNames)
{
    // The worker's own rule, fallback and distinct names included: a file it saved under one is found.
    const QString path = Jobs.LocalFile(Row, ProgramFolder, LongNames, false);
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    return path;
}

} // namespace TJobFile
