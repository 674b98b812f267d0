#pragma once

#include <QString>
#include <QStringList>

class TJobListModel;

// URLs a user hands the program (typed, pasted, dropped, listed on a command line) become jobs here,
// through the one rule of which URLs the list takes: nothing refused goes without its reason.
namespace TUrlEntry {

// The URLs of a pasted or dropped text: its lines without surrounding blanks, blank lines left out.
QStringList Lines(const QString &text);

// "「URL」: reason" when the list cannot take url; empty when it can.
QString Refusal(const QString &url);
// "「URL」: problem", the URL shortened as Refusal shows it, for a rule other than the list's.
QString Quoted(const QString &url, const QString &problem);

struct TAddReport {
    int added = 0;
    QStringList refused; // "「URL」: reason", one per URL the list cannot take, in the order given
};

// Offers each URL to the list as a whole-file job. A URL UrlUtil::JobUrlProblem finds fault with is
// refused with its reason; a duplicate is left out without a word, as AddJob leaves it.
TAddReport AddUrls(TJobListModel &jobs, const QStringList &urls);

// What the user is told about refused URLs (refusals as Refusal gives them, added the number taken
// with them); empty when none was refused.
QString RefusalText(const QStringList &refused, int added = 0);

} // namespace TUrlEntry
