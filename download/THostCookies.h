#pragma once

#include <QHash>
#include <QString>

// The last cookie each host sent, with the transport it came over: one that came over HTTPS is never
// sent over plain HTTP, where anyone on the way could read it; one from plain HTTP may go on both.
class THostCookies
{
public:
    void Store(const QString &host, const QString &cookie, bool overHttps);
    // The cookie to send to host on a request over HTTPS or plain HTTP; empty when none may go.
    QString ForRequest(const QString &host, bool overHttps) const;
    void Forget(const QString &host);

private:
    struct TCookie {
        QString text;
        bool overHttps = false;
    };
    QHash<QString, TCookie> FCookies;
};
