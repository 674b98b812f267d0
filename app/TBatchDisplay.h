#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

// What a terminal can take: a live block redrawn in place, and colours.
struct TTerminalKind {
    bool live = false;
    bool colour = false;
    // A terminal that moves its cursor (not TERM=dumb); colours unless NO_COLOR is set.
    static TTerminalKind Detect(int fd);
};

// One running job as the live block shows it.
struct TLiveJob {
    quint64 id = 0;
    QString caption;
    QString url;
    QString message;
    qint64 done = -1; // bytes of the job held so far; -1 before any arrived
    qint64 size = -1; // the job's bytes in all; -1 when the server did not say
};

// Where the run stands, for the total line.
struct TLiveTotals {
    int jobs = 0;
    int ended = 0;
    int failed = 0;
};

// Draws batch mode's live block: a line per running job with a bar, its rate and time left, and a
// total line; finished lines scroll above it. It only makes text: the run writes it out.
class TBatchDisplay
{
public:
    explicit TBatchDisplay(bool colour, std::function<qint64()> clock = {});

    // Replaces the block drawn last with finished (lines that stay) and a new block fitted to width columns
    // and at most height lines.
    QString Frame(const QStringList &finished, const QList<TLiveJob> &running, const TLiveTotals &totals, int width,
                  int height);
    // A job's last bytes, counted before it leaves the block.
    void JobEnded(quint64 id, qint64 done);
    // Clears the block and prints finished and the run's summary in its place.
    QString Close(const QStringList &finished, const QString &summary);
    // "2 of 3 complete, 1.5 MiB in 0:04 (380.2 KiB/s)"
    QString Summary(int complete, int jobs) const;
    // A finished job's line: its message (green when complete, red when not), a tab, its URL.
    QString FinishedLine(const QString &message, const QString &url, bool complete) const;

    static QString Bytes(qint64 bytes);
    static QString Duration(qint64 seconds);
    // Columns text takes on a terminal: East Asian wide characters take two, marks none.
    static int Width(const QString &text);
    // Cuts the middle out of text so that it takes at most width columns.
    static QString ElideMiddle(const QString &text, int width);
    // A link tree entry of a page import: "TREE", a tab, its caption on one line, a tab, its URL.
    static QString TreeLine(const QString &caption, const QString &url);
    // A job put to wait on its server: "WAIT", a tab, the seconds, a tab, its URL.
    static QString WaitLine(qint64 seconds, const QString &url);
    // Control characters shown as "?": a URL or a server's text must not steer the terminal.
    static QString Printable(const QString &text);
    // Printable for each line of text; the line ends stay.
    static QString PrintableLines(const QString &text);
    // Columns and rows of fd's terminal, 80 by 24 when it tells none.
    static QSize TerminalSize(int fd);

private:
    struct TSample {
        qint64 ms;
        qint64 bytes;
    };
    // Bytes over the last few seconds, measured from the sample just before them.
    class TRate
    {
    public:
        void Add(qint64 ms, qint64 bytes);
        double PerSecond() const;
    private:
        std::deque<TSample> FSamples;
    };
    struct TJobTrack {
        qint64 last = -1;
        qint64 size = -1;
        TRate rate;
    };

    void Count(quint64 id, qint64 done, qint64 size, qint64 now);
    QString JobLine(const TLiveJob &job, int width);
    QString TotalLine(const QList<TLiveJob> &running, const TLiveTotals &totals, int width) const;
    QString Paint(const char *code, const QString &text) const;
    QString Erase() const;

    bool FColour;
    std::function<qint64()> FClock;
    QElapsedTimer FStarted;
    QHash<quint64, TJobTrack> FJobs;
    TRate FTotal;
    qint64 FBytes = 0; // fetched during this run, all jobs together
    int FDrawn = 0;    // lines of the block on the screen
};
