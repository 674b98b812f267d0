#pragma once

// The test plug-ins and the log they write of every call made to them.

#include "tests/support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

inline QString TestSpi(const QString &Name)
{
    return QStringLiteral(PELMOR_TEST_SPI "/") + Name + QStringLiteral(".spi");
}

// Points the plug-ins' log at a file of its own for one test.
class TSpiLog
{
public:
    TSpiLog() { qputenv("PELMOR_SPI_LOG", QFile::encodeName(FFolder.file(QStringLiteral("calls.log")))); }
    ~TSpiLog() { qunsetenv("PELMOR_SPI_LOG"); }
    TSpiLog(const TSpiLog &) = delete;
    TSpiLog &operator=(const TSpiLog &) = delete;

    // The calls logged so far, "<plug-in> <entry> <arguments>", each of whose lines begins with one of
    // Entries (all when empty); the log starts over.
    QStringList Take(const QStringList &Entries = {})
    {
        const QString path = FFolder.file(QStringLiteral("calls.log"));
        QStringList lines =
            QString::fromLocal8Bit(FFolder.read(QStringLiteral("calls.log"))).split(u'\n', Qt::SkipEmptyParts);
        QFile::remove(path);
        if (!Entries.isEmpty())
            lines.removeIf([&](const QString &line) { return !Entries.contains(line.section(u' ', 1, 1)); });
        return lines;
    }

    const TTempFolder &Folder() const { return FFolder; }

private:
    TTempFolder FFolder;
};
