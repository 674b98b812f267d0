#pragma once

#include "app/TBatchOptions.h"
#include "app/TBatchRun.h"
#include "tests/support/TempFolder.h"

#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdio>

// A run's exit status and what it printed.
struct TBatchResult {
    int status;
    QString out, err;
};

inline QString ReadBack(std::FILE *file)
{
    QFile f;
    f.open(file, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    return f.seek(0) ? QString::fromUtf8(f.readAll()) : QString();
}

// Runs a batch with no settings file, its downloads in temp.
inline TBatchResult RunBatch(const TTempFolder &temp, const QStringList &args)
{
    const TBatchOptions options = TBatchOptions::Parse(
        QStringList{"--ini", temp.file("none.ini"), "--folder", temp.path(), "--interval", "20"} + args);
    EXPECT_TRUE(options.error.isEmpty()) << options.error.toStdString();
    std::FILE *out = std::tmpfile(), *err = std::tmpfile();
    const int status = TBatchRun(options, out, err, false).Run();
    return {status, ReadBack(out), ReadBack(err)};
}
