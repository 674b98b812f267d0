#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real nginx on 127.0.0.1 for download tests: started from a config written into its own
// temp folder, on a free port, serving the folder Root() that the test fills.
class TNginxServer
{
public:
    TNginxServer();
    ~TNginxServer();

    // Serves https with this certificate and key from the next Start() on.
    void UseTls(const QString &certFile, const QString &keyFile);

    // False, with Error() telling why, when nginx did not come up within a few seconds.
    bool Start();
    void Stop();
    QString Error() const { return FError; }

    quint16 Port() const { return FPort; }
    QString Root() const;
    QString Url(const QString &path) const;
    // The request lines answered so far, as nginx logged them ("GET /a.jpg HTTP/1.1").
    QStringList Requests() const;
    // The connections the requests answered so far came on (each TLS one with its own handshake).
    int Connections() const;
    // Puts a file below Root(); returns its path.
    QString WriteFile(const QString &name, const QByteArray &bytes) const;
    // Lines put inside the server block (locations that redirect, say); set before Start().
    QString ServerLines;

private:
    bool StartOnce();
    void WriteConfig() const;

    QTemporaryDir FDir;
    QProcess FProcess;
    quint16 FPort = 0;
    QString FCertFile;
    QString FKeyFile;
    QString FError;
};
