#pragma once

#include <QSet>
#include <QString>

// The local file of a job, as every part of the program must agree on it: the long or short name
// rule, with a fallback for URLs whose name would be empty or unusable as a file name, made distinct
// where another URL of the list holds the name, and the part text of a split job appended.
namespace LocalFileName {

// The name of url's file on its own, before the list is looked at (TClaims decides a row's file).
QString For(const QString &folder, const QString &url, bool longNames);

// The part text of a split job as it ends the part's file name: nothing in it leads the file elsewhere.
QString PartText(const QString &div);

// The name used when the naming rule gives nothing usable: the URL flattened like the long form,
// with every character that is unsafe in a file name replaced by "_"; one too long for a file name is
// cut and ends in a digest of the URL and the extension of the URL's path, when that is safe.
QString Fallback(const QString &folder, const QString &url);

// The file of url when another URL already holds path, url's own: the stem, "~", eight hex digits of
// a digest of the URL (and of attempt, when that name is taken too) and the extension, so that
// viewers and plug-ins still know the kind.
QString Distinct(const QString &path, const QString &url, int attempt);

// Names the URLs of a list in row order. A URL keeps its own name unless an earlier, different URL
// holds it or its partial file; it then gets a distinct one, so that no two rows write one file, and
// the same list gives the same names every time. An https URL and its http twin are one URL here, as their names are one.
// A local file is the user's: it keeps its path and holds no name.
class TClaims
{
public:
    TClaims(const QString &folder, bool longNames);

    const QString &Folder() const { return FFolder; }
    bool LongNames() const { return FLongNames; }
    // The file of url, the next row's URL (or again one met before).
    QString Claim(const QString &url);

private:
    QString FFolder;
    bool FLongNames;
    QHash<QString, QString> FFiles; // a URL, transport aside, and its file
    QSet<QString> FTaken;           // the files given, and their partial files
};

} // namespace LocalFileName
