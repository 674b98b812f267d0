#pragma once

#include "HttpProt.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

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

    THttpCli HttpCli1;
    QByteArray PageText;
    QString PageURL;
    qint64 ExpectedSize = 0;
    qint64 FetchedBytes = 0;
    bool StopRequested = false;
    bool RangeExpected = false;
    int LastStatus = 0;

signals:
    void StatusTextChanged(const QString &text);
    void LampChanged(bool red);
    // True from the start of a fetch to its end: the fetch buttons are disabled meanwhile.
    void FetchingChanged(bool fetching);
    // The answer's header lines, for the options dialog's header view.
    void HeadersReceived(const QStringList &lines);

private:
    TJobListModel &m_jobs;
    const TSettings &m_settings;
    bool FFetching = false;
};
