#pragma once

#include <QString>

// The parts of a URL as the HTTP client splits it: loose about what it accepts, so that
// "host:port", "/path" and "user:pass@host" forms all work for both URLs and proxy names.
struct THttpUrlParts {
    QString Proto;
    QString User;
    QString Pass;
    // An IPv6 address without its brackets, as it is looked up.
    QString Host;
    QString Port;
    QString Path;

    static THttpUrlParts Parse(const QString &url);
    // The URL as a request through a proxy names it: the scheme ("http" when none), the host, the
    // port when one was given and the path, never the user name or password.
    QString RequestUrl() const;
    // The host as a URL or a Host line writes it: an IPv6 address in brackets.
    static QString UrlHost(const QString &host);
    // The port as given, else the scheme's own: "443" for https, "80" for anything else.
    QString PortOrDefault() const;
    // The server as it is reached, "host:port": the name in lower case, a numeric port as a number
    // and a port left out as the scheme's, so that every way of writing one server gives one text.
    QString ServerKey() const;
};
