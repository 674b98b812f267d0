#pragma once

#include "download/HttpProt.h"
#include "download/TRunFiles.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class QBuffer;
class TJobListModel;
struct TSettings;

// The one fetch at a time of the URL-making window on its own client: the split probe, the page
// fetch and the notice fetch, with the progress display they share. No widgets: the window and the
// batch run connect to its signals.
class THomeFetch : public QObject
{
    Q_OBJECT
public:
    THomeFetch(TJobListModel &jobs, const TSettings &settings, QObject *parent = nullptr);

    // Probes url with a one-byte range and adds its part jobs; the number of parts added.
    int Split(const QString &url);
    // Fetches a page into PageText; true when it should be scanned (Stop was not pressed).
    bool FetchPage(const QString &url);
    // Fetches the notice into PageText; true when it should be shown.
    bool FetchNotice(const QString &url);
    // Stop: the running fetch ends and its result is dropped.
    void Stop();
    // Close: the running fetch ends, its result step still runs on what arrived.
    void AbortForClose();
    bool Fetching() const { return FFetching; }

    // The parts of a file of total bytes: consecutive [start, end) ranges, at most PartCount.
    struct TPart {
        qint64 start;
        qint64 end;
        QString name;
    };
    static QList<TPart> MakeParts(qint64 total);

    static constexpr int PartCount = 12;
    // A server may send anything: past these sizes the fetch is ended and what arrived is used.
    static constexpr qint64 MaxPageBytes = 16 * 1024 * 1024;
    static constexpr qint64 MaxNoticeBytes = 64 * 1024;

    THttpCli HttpCli1;
    QByteArray PageText;
    QString PageURL;
    qint64 ExpectedSize = 0;
    qint64 FetchedBytes = 0;
    bool StopRequested = false;
    bool RangeExpected = false;
    int LastStatus = 0;
    // The cookie file and .netrc a run has read already (batch mode's); null: read for each fetch.
    const TRunFiles *ReadRunFiles = nullptr;
    // The last status text shown, for callers without a status bar.
    QString StatusText;
    // Why the last fetch got no whole answer: the client's reason, or the status of an answer that
    // carries no document. Empty when the answer arrived whole.
    QString FailReason;

signals:
    void StatusTextChanged(const QString &text);
    void LampChanged(bool red);
    // True from the start of a fetch to its end: the fetch buttons are disabled meanwhile.
    void FetchingChanged(bool fetching);
    // The answer's header lines, for the options dialog's header view.
    void HeadersReceived(const QStringList &lines);

private:
    // Runs one GET of url into PageText (at most cap bytes); false when the result is to be dropped.
    bool Run(const QString &url, qint64 cap);
    // A fetch of the whole document: Run, then the status and headers of its answer.
    bool FetchWhole(const QString &url, qint64 cap, const QString &beginText);
    void SetStatus(const QString &text);
    void HttpCli1HeaderEnd(THttpCli *sender);
    void HttpCli1DocBegin(THttpCli *sender);
    void HttpCli1DocData(THttpCli *sender, const char *buffer, int len);
    void HttpCli1DocEnd(THttpCli *sender);
    int StallTimeOutMs() const;
    // Nothing arrived for the stall time-out: the fetch ends and its result is dropped.
    void StallTimerTimer();

    TJobListModel &FJobs;
    const TSettings &FSettings;
    bool FFetching = false;
    bool FLampRed = false;
    qint64 FCap = 0;
    // Restarted by everything the server sends, so only a silent server runs it out.
    QTimer FStallTimer;
    TRunFiles FRunFiles; // what the running fetch sends besides its own
    bool FTimedOut = false;
};
