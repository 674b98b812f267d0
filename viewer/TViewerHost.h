#pragma once

#include <QString>

#include <functional>

// What the viewer reads of the main window and does to its job list, as callbacks, so that the
// viewer can be driven without the whole main window.
struct TViewerHost {
    std::function<int()> JobCount;
    std::function<int()> FirstSelectedRow;            // -1 when no row is selected
    std::function<void(int, bool)> SetRowSelected;    // row, selected
    std::function<QString(int)> JobUrl;               // the URL cell of a row
    std::function<bool()> LongFileNames;              // the FileType setting is 1
    std::function<QString()> ProgramFolder;
    std::function<QString()> ListFileName;            // the job-list file last opened or saved
};
