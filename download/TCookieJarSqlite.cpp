// Firefox's cookie database, read from a copy: the browser holds the original open and locked, and
// nothing of ours may change it.
#include "download/TCookieJar.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>

#include <sqlite3.h>

namespace {
using TDatabase = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;
using TStatement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

// Expiry times past this many seconds (the year 5138) are newer databases' milliseconds.
constexpr qint64 LastSecondsExpiry = 100000000000;

QString ColumnText(sqlite3_stmt *row, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(row, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(row, column));
}

// Copies the database and, when there is one, its write-ahead log, which holds the latest changes.
QString CopyDatabase(const QString &fileName, const QString &copy)
{
    for (const QString &suffix : {QString(), QStringLiteral("-wal")}) {
        QFile source(fileName + suffix);
        if (!suffix.isEmpty() && !source.exists())
            continue;
        if (QFileInfo(source).size() > TCookieJar::MaxFileBytes)
            return QStringLiteral("%1 is larger than %2 MiB")
                .arg(source.fileName())
                .arg(TCookieJar::MaxFileBytes >> 20);
        if (!source.copy(copy + suffix))
            return QStringLiteral("cannot be copied: ") + source.errorString();
    }
    return {};
}
} // namespace

TCookieJar::TLoad TCookieJar::ReadSqlite(const QString &fileName)
{
    TLoad load;
    const QTemporaryDir folder;
    if (!folder.isValid()) {
        load.error = QStringLiteral("no temporary folder for its copy: ") + folder.errorString();
        return load;
    }
    const QString copy = folder.filePath(QStringLiteral("cookies.sqlite"));
    load.error = CopyDatabase(fileName, copy);
    if (!load.error.isEmpty())
        return load;

    sqlite3 *opened = nullptr;
    const int openResult = sqlite3_open_v2(QFile::encodeName(copy).constData(), &opened, SQLITE_OPEN_READONLY, nullptr);
    const TDatabase db(opened, sqlite3_close);
    if (openResult != SQLITE_OK) {
        load.error = QStringLiteral("cannot be opened: ") + QString::fromUtf8(sqlite3_errstr(openResult));
        return load;
    }
    // A file from anywhere may carry a schema made to attack its reader: it runs nothing of its own.
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_stmt *prepared = nullptr;
    const int prepareResult = sqlite3_prepare_v2(db.get(),
                                                 "SELECT host, path, isSecure, expiry, name, value FROM moz_cookies",
                                                 -1, &prepared, nullptr);
    const TStatement query(prepared, sqlite3_finalize);
    if (prepareResult != SQLITE_OK) {
        load.error =
            QStringLiteral("not a Firefox cookie database (%1)").arg(QString::fromUtf8(sqlite3_errmsg(db.get())));
        return load;
    }
    auto jar = std::make_shared<TCookieJar>();
    int number = 0;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(query.get())) == SQLITE_ROW) {
        ++number;
        const QString host = ColumnText(query.get(), 0);
        const qint64 expiry = sqlite3_column_int64(query.get(), 3);
        TCookie cookie{host,
                       !host.startsWith(u'.'),
                       ColumnText(query.get(), 1),
                       sqlite3_column_int64(query.get(), 2) != 0,
                       expiry > LastSecondsExpiry ? expiry / 1000 : expiry,
                       ColumnText(query.get(), 4),
                       ColumnText(query.get(), 5)};
        if (jar->FCookies.size() < MaxCookies && Take(cookie))
            jar->FCookies.append(std::move(cookie));
        else
            load.SkipBad(number);
    }
    if (step != SQLITE_DONE) {
        // What was read before the damage is not the browser's whole jar: none of it is used.
        TLoad damaged;
        damaged.error = QStringLiteral("damaged database: ") + QString::fromUtf8(sqlite3_errmsg(db.get()));
        return damaged;
    }
    load.jar = std::move(jar);
    return load;
}
