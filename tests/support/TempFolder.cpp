#include "tests/support/TempFolder.h"

#include <QFile>

#include <gtest/gtest.h>

TTempFolder::TTempFolder()
{
    EXPECT_TRUE(FDir.isValid());
}

QString TTempFolder::write(const QString &name, const QByteArray &bytes) const
{
    const QString path = file(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    return path;
}

QByteArray TTempFolder::read(const QString &name) const
{
    QFile f(file(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QByteArray ReadFileOrMissing(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
