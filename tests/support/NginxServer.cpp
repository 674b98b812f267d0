#include "tests/support/NginxServer.h"

#include "tests/support/ScriptedServer.h"

#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSet>
#include <QStandardPaths>

#include <unistd.h>

TNginxServer::TNginxServer()
{
    QDir(FDir.path()).mkpath(QStringLiteral("www"));
}

TNginxServer::~TNginxServer()
{
    Stop();
}

QString TNginxServer::Root() const
{
    return FDir.filePath(QStringLiteral("www"));
}

QString TNginxServer::Url(const QString &path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(QLatin1String(FCertFile.isEmpty() ? "http" : "https"))
        .arg(FPort)
        .arg(path);
}

void TNginxServer::UseTls(const QString &certFile, const QString &keyFile)
{
    FCertFile = certFile;
    FKeyFile = keyFile;
}

QStringList TNginxServer::Requests() const
{
    QFile log(FDir.filePath(QStringLiteral("access.log")));
    QStringList requests;
    if (!log.open(QIODevice::ReadOnly))
        return requests;
    // Each line holds the request line between its first two double quotes.
    for (const QByteArray &line : log.readAll().split('\n'))
        if (const QList<QByteArray> quoted = line.split('"'); quoted.size() > 2)
            requests.append(QString::fromUtf8(quoted[1]));
    return requests;
}

int TNginxServer::Connections() const
{
    QFile log(FDir.filePath(QStringLiteral("connections.log")));
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    // One line per request: the serial number of the connection it came on.
    QSet<QByteArray> serials;
    for (const QByteArray &line : log.readAll().split('\n'))
        if (!line.isEmpty())
            serials.insert(line);
    return static_cast<int>(serials.size());
}

QString TNginxServer::WriteFile(const QString &name, const QByteArray &bytes) const
{
    const QString path = Root() + QLatin1Char('/') + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
    return path;
}

bool TNginxServer::Start()
{
    // Another program may take the probed port before nginx binds it, and a loaded machine may
    // refuse a start for a moment: try a few times, a little apart.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (StartOnce())
            return true;
        WaitForEvents([] { return false; }, 200 * (attempt + 1));
    }
    return false;
}

bool TNginxServer::StartOnce()
{
    const QString nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"),
                                                                                   QStringLiteral("/usr/local/sbin")});
    if (nginx.isEmpty()) {
        FError = QStringLiteral("nginx is not installed");
        return false;
    }
    FPort = UnusedLoopbackPort();
    WriteConfig();
    const QString pidFile = FDir.filePath(QStringLiteral("nginx.pid"));
    QFile::remove(pidFile);
    // nginx must not hold the test's output pipe open.
    FProcess.setStandardOutputFile(FDir.filePath(QStringLiteral("stdout.log")));
    FProcess.setStandardErrorFile(FDir.filePath(QStringLiteral("stderr.log")));
    FProcess.start(nginx, {QStringLiteral("-p"), FDir.path(), QStringLiteral("-c"),
                           FDir.filePath(QStringLiteral("nginx.conf")), QStringLiteral("-e"),
                           FDir.filePath(QStringLiteral("error.log"))});
    // nginx writes its pid file after its listening socket is open.
    QFileSystemWatcher watcher({FDir.path()});
    const bool up = WaitForEvents([&] { return QFile::exists(pidFile) || FProcess.state() == QProcess::NotRunning; },
                                  10000);
    if (up && FProcess.state() == QProcess::Running)
        return true;
    Stop();
    FError = QStringLiteral("nginx did not start (exit %1): ").arg(FProcess.exitCode());
    for (const char *name : {"error.log", "stderr.log"}) {
        QFile log(FDir.filePath(QString::fromLatin1(name)));
        if (log.open(QIODevice::ReadOnly))
            FError += QString::fromLocal8Bit(log.readAll());
    }
    return false;
}

void TNginxServer::WriteConfig() const
{
    const QString dir = FDir.path();
    QString conf;
    // As root the workers would otherwise run as nobody and be refused the temp folder.
    if (::geteuid() == 0)
        conf += QStringLiteral("user root root;\n");
    conf += QStringLiteral("daemon off;\n"
                           "worker_processes 1;\n"
                           "pid %1/nginx.pid;\n"
                           "error_log %1/error.log;\n"
                           "events { worker_connections 64; }\n"
                           "http {\n"
                           "  access_log %1/access.log;\n"
                           "  log_format connection '$connection';\n"
                           "  access_log %1/connections.log connection;\n"
                           "  client_body_temp_path %1/body;\n"
                           "  proxy_temp_path %1/proxy;\n"
                           "  fastcgi_temp_path %1/fastcgi;\n"
                           "  uwsgi_temp_path %1/uwsgi;\n"
                           "  scgi_temp_path %1/scgi;\n"
                           "  default_type application/octet-stream;\n"
                           "  sendfile on;\n"
                           "  keepalive_timeout 65;\n"
                           "  server { listen 127.0.0.1:%2%3; root %1/www;%4 %5}\n"
                           "}\n")
                .arg(dir)
                .arg(FPort)
                .arg(QLatin1String(FCertFile.isEmpty() ? "" : " ssl"),
                     FCertFile.isEmpty()
                         ? QString()
                         : QStringLiteral(" ssl_certificate %1; ssl_certificate_key %2;").arg(FCertFile, FKeyFile),
                     ServerLines);
    QFile f(FDir.filePath(QStringLiteral("nginx.conf")));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(conf.toUtf8());
}

void TNginxServer::Stop()
{
    StopProcess(FProcess);
}
