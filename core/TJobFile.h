#pragma once

#include <QString>

class TJobListModel;

// Where the viewer looks for the downloaded file of a job, shared by the viewer window and batch mode.
namespace TJobFile {

// The whole file of the job of this row, as the worker names it (the long form when LongNames is set,
// the FileType setting being 1, the short form otherwise); empty when no such file exists.
QString ExistingPath(const TJobListModel &Jobs, int Row, const QString &ProgramFolder, bool LongNames);

} // namespace TJobFile
