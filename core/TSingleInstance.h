#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// Keeps one running copy per user. The running copy listens on a local socket named after its
// main window; a later start asks it to come to the front and, without a command-line argument,
// ends there.
class TSingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit TSingleInstance(const QString &ServerName = DefaultServerName(), QObject *parent = nullptr);

    // Whether this process goes on starting: false when a copy runs and HasArgument is false.
    // Without a running copy this one becomes it and listens; a socket left by a crashed copy is
    // taken over.
    bool Claim(bool HasArgument);
    bool Listening() const;

    // "pelmor-TFormMain" in the user's runtime folder.
    static QString DefaultServerName();

signals:
    // A later start asked the running copy to come to the front (restored if minimised).
    void Raise();

private:
    bool AskRunningCopy() const;
    void Accept();
    void Serve(QLocalSocket *client);

    QString FServerName;
    QLocalServer *FServer;
};
