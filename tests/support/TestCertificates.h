#pragma once

#include <QString>
#include <QTemporaryDir>

// A test certificate authority and server certificates, made with the openssl command in a temp
// folder: one for 127.0.0.1, ::1 and localhost, one for another name, an expired one (all signed by
// the test authority) and a self-signed one.
class TTestCertificates
{
public:
    struct TPair {
        QString Cert;
        QString Key;
    };

    // False, with Error() telling why, when openssl failed.
    bool Make();
    QString Error() const { return FError; }

    QString CaFile() const { return Path(QStringLiteral("ca.pem")); }
    TPair Good() const { return PairOf(QStringLiteral("good")); }
    TPair OtherName() const { return PairOf(QStringLiteral("other")); }
    TPair Expired() const { return PairOf(QStringLiteral("expired")); }
    TPair SelfSigned() const { return PairOf(QStringLiteral("self")); }

private:
    bool Run(const QStringList &args);
    bool Sign(const QString &name, const QString &altNames, const QStringList &validity);
    QString Path(const QString &name) const { return FDir.filePath(name); }
    TPair PairOf(const QString &name) const
    {
        return {Path(name + QLatin1String(".pem")), Path(name + QLatin1String(".key"))};
    }

    QTemporaryDir FDir;
    QString FError;
};
