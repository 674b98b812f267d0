#pragma once

#include <QString>

// Where the viewer looks for the downloaded file of a job, shared by the viewer window and batch mode.
namespace TJobFile {

// The local path of the file of the job with this URL below the program folder: the long form of the
// local name when LongNames is set (the FileType setting is 1), the short form otherwise. Empty when
// no name can be formed or no file of that name exists.
QString ExistingPath(const QString &ProgramFolder, const QString &Url, bool LongNames);

} // namespace TJobFile
