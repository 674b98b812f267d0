#include "THomeFetch.h"

THomeFetch::THomeFetch(TJobListModel &jobs, const TSettings &settings, QObject *parent)
    : QObject(parent)
    , m_jobs(jobs)
    , m_settings(settings)
{
}

int THomeFetch::Split(const QString &)
{
    return 0;
}

bool THomeFetch::FetchPage(const QString &url)
{
    PageURL = url;
    PageText.clear();
    return false;
}

bool THomeFetch::FetchNotice(const QString &)
{
    PageText.clear();
    return false;
}

void THomeFetch::Stop()
{
    StopRequested = true;
}

void THomeFetch::AbortForClose()
{
}
