#pragma once

#include "tests/support/TempFolder.h"

#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <sys/stat.h>

// $NETRC names the file for as long as the guard lives.
class TNetrcVariable
{
public:
    explicit TNetrcVariable(const QString &path) { qputenv("NETRC", QFile::encodeName(path)); }
    ~TNetrcVariable() { qunsetenv("NETRC"); }
    TNetrcVariable(const TNetrcVariable &) = delete;
    TNetrcVariable &operator=(const TNetrcVariable &) = delete;
};

// A .netrc in temp with a login for 127.0.0.1 ("anna", "pw"), of the given mode.
inline QString WriteNetrc(const TTempFolder &temp, mode_t mode)
{
    const QString path = temp.write("netrc", "machine 127.0.0.1 login anna password pw\n");
    EXPECT_EQ(chmod(QFile::encodeName(path).constData(), mode), 0);
    return path;
}
