#pragma once

#include "tests/support/ScriptedServer.h"

#include <QProcess>
#include <QStringList>

struct TProgramRun {
    int status = -1;
    QString out, err;
};

// The real program in a pipe; the test's own servers keep answering while it runs. A run still going
// after deadlineMs is killed and reported with status -1.
inline TProgramRun RunPelmor(const QStringList &args, int deadlineMs = 60000,
                             const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(PELMOR_BINARY, args);
    TProgramRun run;
    if (!process.waitForStarted(10000))
        return run;
    if (!WaitForEvents([&] { return process.state() == QProcess::NotRunning; }, deadlineMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
