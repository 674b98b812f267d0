#pragma once

#include <QString>

#include <functional>

// What the viewer reads of the main window and does to its job list, as callbacks, so that the
// viewer can be driven without the whole main window.
struct TViewerHost {
    std::function<int()> JobCount;
    std::function<int()> FirstSelectedRow;         // -1 when no row is selected
    std::function<void(int, bool)> SetRowSelected; // row, selected
    std::function<QString(int)> JobFile;           // a row's downloaded file, empty when there is none
    std::function<QString()> ProgramFolder;
    std::function<QString()> ListFileName; // the job-list file last opened or saved
};
