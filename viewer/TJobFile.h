#pragma once

#include <QString>

// Where the viewer looks for the downloaded file of a job, shared by the viewer window and batch mode.
namespace TJobFile {

// The local path of the file of the job with this URL, as the worker names it (the long form when
// LongNames is set, the FileType setting being 1, the short form otherwise); empty when no such file exists.
QString ExistingPath(const QString &ProgramFolder, const QString &Url, bool LongNames);

} // namespace TJobFile
