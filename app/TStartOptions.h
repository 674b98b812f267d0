#pragma once

#include <QString>
#include <QStringList>

// What the command line asks of the program.
struct TStartOptions {
    bool showVersion = false;
    bool showHelp = false;
    QString iniFile;       // settings file; empty: the user's pelmor.ini
    QString folder;        // program folder; empty: decided at start
    QStringList arguments; // plain arguments
    QString error;         // set when the command line cannot be used

    static TStartOptions Parse(const QStringList &commandLine);
    // The program's whole usage: the window start, the hand-over and batch mode with all its options.
    static QString Usage();
};
