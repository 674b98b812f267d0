#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

// Login names and passwords for servers from a .netrc file: "machine", "login", "password" and
// "default" entries; "account", "port" and "macdef" bodies are passed over. Never changed once
// loaded, so every worker thread reads one without locks.
class TNetrc
{
public:
    struct TLogin {
        QString login;
        QString password;
    };
    // What a load gave: the entries (none, never null) and, when the file was not used, why.
    struct TLoad {
        std::shared_ptr<const TNetrc> netrc = std::make_shared<const TNetrc>();
        QString warning;
    };

    static constexpr qint64 MaxFileBytes = 1 << 20;

    // $NETRC, else ~/.netrc.
    static QString DefaultFileName();
    // Reads fileName only when it is a regular file of the user's that no one else may read or write.
    static TLoad Load(const QString &fileName);
    static TNetrc Parse(const QByteArray &text);

    // The login for host (a name or an address, any case): its machine's entry, else the default's.
    std::optional<TLogin> For(const QString &host) const;

private:
    struct TEntry {
        QString machine; // empty: the default entry
        TLogin login;
    };
    QList<TEntry> FEntries;
};
