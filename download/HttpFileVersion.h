#pragma once

#include <QString>

#include <optional>

class THttpCli;

// Which version of a file an answer belongs to: its whole size and its validator (the ETag, else
// the Last-Modified date). The parts of a split must all come from the version the probe saw.
struct THttpFileVersion {
    qint64 total = -1;    // -1: the answer named no size
    QString etag;         // as sent, quotes and any "W/" kept
    QString lastModified; // as sent

    // The version an answer names: its validators and the whole size it gave.
    static THttpFileVersion FromAnswer(const THttpCli &answer, qint64 total);
    // The record kept with a part job, with one validator: no comma, no blank inside a value, no
    // control character.
    QString ToText() const;
    // A record as ToText wrote it; none for any other text.
    static std::optional<THttpFileVersion> FromText(const QString &text);

    bool Known() const { return total >= 0; }
    // The If-Range value that makes a server send the whole file instead of a part of another
    // version: a strong ETag, else the date. Empty when there is neither.
    QString IfRange() const;
    // Why answer is not this version, "" when nothing it names differs. Values it does not name
    // are not compared.
    QString Difference(const THttpFileVersion &answer) const;
    // "4000000 bytes, ETag \"v1\"", for messages.
    QString Describe() const;

    bool operator==(const THttpFileVersion &) const = default;

    // How every reason begins that says the server now has another version of the file.
    static constexpr QLatin1StringView ChangedPrefix{"File changed: "};
};
