#include "app/TBatchDisplay.h"

#include <QChar>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr qint64 RateWindowMs = 5000;
constexpr int MinUrlWidth = 12;
constexpr int MaxBarWidth = 32;

const char *const Green = "32";
const char *const Red = "31";
const char *const Cyan = "36";
const char *const Bold = "1";

bool Wide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf && c != 0x303f) || (c >= 0xac00 && c <= 0xd7a3)
           || (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f) || (c >= 0xff00 && c <= 0xff60)
           || (c >= 0xffe0 && c <= 0xffe6) || (c >= 0x1f300 && c <= 0x1faff) || (c >= 0x20000 && c <= 0x3fffd);
}

int CharWidth(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing)
        return 0;
    return Wide(c) ? 2 : 1;
}

// The first characters of text that take at most width columns, from the front or from the back.
QString Take(const QString &text, int width, bool fromBack)
{
    const QList<uint> chars = text.toUcs4();
    QList<uint> kept;
    int used = 0;
    for (qsizetype i = 0; i < chars.size(); ++i) {
        const uint c = chars[fromBack ? chars.size() - 1 - i : i];
        used += CharWidth(c);
        if (used > width)
            break;
        kept.append(c);
    }
    if (fromBack)
        std::reverse(kept.begin(), kept.end());
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(kept.constData()), kept.size());
}

QString Pad(const QString &text, int width)
{
    return QString(std::max(0, width - TBatchDisplay::Width(text)), QLatin1Char(' ')) + text;
}

QString Rate(double perSecond)
{
    return TBatchDisplay::Bytes(qint64(perSecond)) + QStringLiteral("/s");
}

QString TimeLeft(qint64 remaining, double perSecond)
{
    if (remaining < 0 || perSecond < 1)
        return QStringLiteral("--:--");
    return TBatchDisplay::Duration(qint64(double(remaining) / perSecond + 0.5));
}

} // namespace

TTerminalKind TTerminalKind::Detect(int fd)
{
    TTerminalKind kind;
    const char *term = std::getenv("TERM");
    kind.live = isatty(fd) != 0 && !(term && std::strcmp(term, "dumb") == 0);
    const char *noColour = std::getenv("NO_COLOR");
    kind.colour = kind.live && !(noColour && *noColour);
    return kind;
}

void TBatchDisplay::TRate::Add(qint64 ms, qint64 bytes)
{
    FSamples.push_back({ms, bytes});
    // The sample just before the window stays as its start, so a stalled job falls to 0 and not to nothing.
    while (FSamples.size() > 2 && FSamples[1].ms <= ms - RateWindowMs)
        FSamples.pop_front();
}

double TBatchDisplay::TRate::PerSecond() const
{
    if (FSamples.size() < 2 || FSamples.back().ms <= FSamples.front().ms)
        return 0;
    return double(FSamples.back().bytes - FSamples.front().bytes) * 1000
           / double(FSamples.back().ms - FSamples.front().ms);
}

TBatchDisplay::TBatchDisplay(bool colour, std::function<qint64()> clock) : FColour(colour), FClock(std::move(clock))
{
    FStarted.start();
    if (!FClock)
        FClock = [this] { return FStarted.elapsed(); };
}

QString TBatchDisplay::Frame(const QStringList &finished, const QList<TLiveJob> &running, const TLiveTotals &totals,
                             int width, int height)
{
    const qint64 now = FClock();
    for (const TLiveJob &job : running)
        Count(job.id, job.done, job.size, now);
    FTotal.Add(now, FBytes);

    // A line that wraps would throw the cursor moves out: every line stays a column short of the edge.
    const int columns = std::max(1, width - 1);
    QString text = Erase() + finished.join(QString());
    const int shown = int(std::min<qsizetype>(running.size(), std::max(0, height - 2)));
    for (int i = 0; i < shown; ++i)
        text += JobLine(running[i], columns) + QLatin1Char('\n');
    text += TotalLine(running, totals, columns) + QLatin1Char('\n');
    FDrawn = shown + 1;
    return text;
}

void TBatchDisplay::JobEnded(quint64 id, qint64 done)
{
    Count(id, done, -1, FClock());
}

QString TBatchDisplay::Close(const QStringList &finished, const QString &summary)
{
    QString text = Erase() + finished.join(QString()) + summary;
    FDrawn = 0;
    return text;
}

QString TBatchDisplay::Summary(int complete, int jobs) const
{
    const qint64 ms = std::max<qint64>(1, FClock());
    return QStringLiteral("%1 of %2 complete, %3 in %4 (%5)\n")
        .arg(complete)
        .arg(jobs)
        .arg(Bytes(FBytes), Duration(ms / 1000), Rate(double(FBytes) * 1000 / double(ms)));
}

QString TBatchDisplay::FinishedLine(const QString &message, const QString &url, bool complete) const
{
    return Paint(complete ? Green : Red, Printable(message)) + QLatin1Char('\t') + Printable(url) + QLatin1Char('\n');
}

void TBatchDisplay::Count(quint64 id, qint64 done, qint64 size, qint64 now)
{
    TJobTrack &track = FJobs[id];
    if (size >= 0)
        track.size = size;
    if (done < 0)
        return;
    // A count that goes back is a job starting over: its rate starts again.
    if (done > track.last)
        FBytes += done - std::max<qint64>(0, track.last);
    if (track.last >= 0 && done < track.last)
        track.rate = TRate();
    track.last = done;
    track.rate.Add(now, done);
}

QString TBatchDisplay::JobLine(const TLiveJob &job, int width)
{
    const TJobTrack &track = FJobs[job.id];
    const QString head = QLatin1Char('[') + Printable(job.caption) + QStringLiteral("] ");
    QString info;
    int percent = -1;
    if (job.done < 0) {
        info = QLatin1Char(' ') + Printable(job.message);
    } else {
        const double rate = track.rate.PerSecond();
        const QString bytes = job.size > 0 ? Bytes(job.done) + QLatin1Char('/') + Bytes(job.size) : Bytes(job.done);
        if (job.size > 0)
            percent = int(std::clamp<qint64>(job.done * 100 / job.size, 0, 100));
        info = Pad(percent >= 0 ? QString::number(percent) + QLatin1Char('%') : QString(), 5) + Pad(bytes, 20)
               + Pad(Rate(rate), 13) + Pad(TimeLeft(job.size > 0 ? job.size - job.done : -1, rate), 9);
    }
    const int room = width - Width(head) - Width(info);
    const int bar = percent >= 0 ? std::min(MaxBarWidth, (room - MinUrlWidth) / 2) : 0;
    QString url;
    QString drawnBar;
    if (bar >= 8) {
        const int inside = bar - 3;
        const int full = inside * percent / 100;
        url = ElideMiddle(Printable(job.url), room - bar);
        drawnBar = QStringLiteral(" [")
                   + Paint(Cyan, QString(full, QLatin1Char('=')) + (full < inside ? QStringLiteral(">") : QString()))
                   + QString(std::max(0, inside - full - 1), QLatin1Char(' ')) + QLatin1Char(']');
    } else {
        url = ElideMiddle(Printable(job.url), std::max(MinUrlWidth, room));
    }
    // On a narrow terminal the figures give way at the end.
    const int left = width - Width(head) - Width(url) - (drawnBar.isEmpty() ? 0 : bar);
    return head + url + drawnBar + (left > 0 ? Take(info, left, false) : QString());
}

QString TBatchDisplay::TotalLine(const QList<TLiveJob> &running, const TLiveTotals &totals, int width) const
{
    // The jobs not started yet are guessed at the mean size of those whose size is known.
    qint64 sizes = 0;
    int sized = 0;
    for (const TJobTrack &track : FJobs)
        if (track.size > 0) {
            sizes += track.size;
            ++sized;
        }
    qint64 remaining = 0;
    for (const TLiveJob &job : running)
        remaining += job.size > 0 ? std::max<qint64>(0, job.size - std::max<qint64>(0, job.done)) : 0;
    const int waiting = std::max<int>(0, totals.jobs - totals.ended - int(running.size()));
    if (waiting > 0)
        remaining = sized > 0 ? remaining + waiting * (sizes / sized) : -1;
    QString line =
        QStringLiteral("total: %1 running, %2 of %3 ended").arg(running.size()).arg(totals.ended).arg(totals.jobs);
    if (totals.failed > 0)
        line += QStringLiteral(" (%1 failed)").arg(totals.failed);
    const double rate = FTotal.PerSecond();
    line += QStringLiteral(", %1, %2, %3 left").arg(Bytes(FBytes), Rate(rate), TimeLeft(remaining, rate));
    return Paint(Bold, Take(line, width, false));
}

QString TBatchDisplay::Paint(const char *code, const QString &text) const
{
    if (!FColour || text.isEmpty())
        return text;
    return QStringLiteral("\x1b[%1m").arg(QLatin1String(code)) + text + QStringLiteral("\x1b[0m");
}

QString TBatchDisplay::Erase() const
{
    if (FDrawn == 0)
        return QString();
    return QStringLiteral("\r\x1b[%1A\x1b[J").arg(FDrawn);
}

QString TBatchDisplay::Bytes(qint64 bytes)
{
    static const char *const Units[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(std::max<qint64>(0, bytes));
    double value = double(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return QString::number(value, 'f', value < 100 ? 1 : 0) + QLatin1Char(' ') + QLatin1String(Units[unit]);
}

QString TBatchDisplay::Duration(qint64 seconds)
{
    if (seconds >= 100 * 3600)
        return QStringLiteral("--:--");
    const QString minutesSeconds =
        QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return minutesSeconds;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

int TBatchDisplay::Width(const QString &text)
{
    int width = 0;
    for (const uint c : text.toUcs4())
        width += CharWidth(c);
    return width;
}

QString TBatchDisplay::ElideMiddle(const QString &text, int width)
{
    if (Width(text) <= width)
        return text;
    // Plain dots: an ellipsis character is two columns wide on many Japanese terminals.
    const QString dots = QStringLiteral("...");
    if (width <= dots.size())
        return Take(text, width, false);
    const int room = width - int(dots.size());
    // The end keeps the file name; the front keeps the server.
    return Take(text, room - room / 2, false) + dots + Take(text, room / 2, true);
}

QString TBatchDisplay::TreeLine(const QString &caption, const QString &url)
{
    // The caption's own line breaks and tabs would split the line or its fields.
    QString oneLine = caption;
    for (QChar &c : oneLine)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    return QStringLiteral("TREE\t") + oneLine + QLatin1Char('\t') + url + QLatin1Char('\n');
}

QString TBatchDisplay::WaitLine(qint64 seconds, const QString &url)
{
    return QStringLiteral("WAIT\t%1\t%2\n").arg(seconds).arg(url);
}

QString TBatchDisplay::Printable(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || (c.unicode() >= 0x7f && c.unicode() < 0xa0))
            c = QLatin1Char('?');
    return out;
}

QString TBatchDisplay::PrintableLines(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = Printable(line);
    return lines.join(QLatin1Char('\n'));
}

QSize TBatchDisplay::TerminalSize(int fd)
{
    winsize size{};
    const bool known = ioctl(fd, TIOCGWINSZ, &size) == 0;
    return {known && size.ws_col > 0 ? size.ws_col : 80, known && size.ws_row > 0 ? size.ws_row : 24};
}
