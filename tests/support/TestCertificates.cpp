#include "tests/support/TestCertificates.h"

#include <QFile>
#include <QProcess>

namespace {
const QStringList NewKey = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                            QStringLiteral("ec_paramgen_curve:P-256"), QStringLiteral("-nodes")};

bool WriteText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}
} // namespace

bool TTestCertificates::Run(const QStringList &args)
{
    QProcess openssl;
    openssl.setWorkingDirectory(FDir.path());
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), args);
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        FError = QStringLiteral("openssl %1: %2")
                     .arg(args.join(QLatin1Char(' ')), QString::fromLocal8Bit(openssl.readAll()));
        return false;
    }
    return true;
}

// "openssl ca" is the one command of the tool that takes any validity dates, an expired span included.
bool TTestCertificates::Sign(const QString &name, const QString &altNames, const QStringList &validity)
{
    const QString ext = name + QLatin1String(".ext");
    WriteText(Path(ext),
              "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=" + altNames.toLatin1() + "\n");
    return Run(QStringList{QStringLiteral("req"), QStringLiteral("-new")} + NewKey
               + QStringList{QStringLiteral("-keyout"), name + QLatin1String(".key"), QStringLiteral("-out"),
                             name + QLatin1String(".csr"), QStringLiteral("-subj"), QStringLiteral("/CN=") + name})
           && Run(QStringList{QStringLiteral("ca"), QStringLiteral("-batch"), QStringLiteral("-notext"),
                              QStringLiteral("-config"), QStringLiteral("ca.cnf"), QStringLiteral("-extfile"), ext,
                              QStringLiteral("-in"), name + QLatin1String(".csr"), QStringLiteral("-out"),
                              name + QLatin1String(".pem")}
                  + validity);
}

bool TTestCertificates::Make()
{
    if (!FDir.isValid()) {
        FError = QStringLiteral("no temp folder");
        return false;
    }
    WriteText(Path(QStringLiteral("index.txt")), QByteArray());
    WriteText(Path(QStringLiteral("serial")), "1000\n");
    WriteText(Path(QStringLiteral("ca.cnf")),
              "[ca]\ndefault_ca = test\n"
              "[test]\ndir = .\ndatabase = index.txt\nnew_certs_dir = .\nserial = serial\n"
              "certificate = ca.pem\nprivate_key = ca.key\ndefault_md = sha256\n"
              "policy = any\nunique_subject = no\n"
              "[any]\ncommonName = supplied\n");
    const QStringList oneYear = {QStringLiteral("-days"), QStringLiteral("365")};
    const QString local = QStringLiteral("IP:127.0.0.1,IP:::1,DNS:localhost");
    return Run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + NewKey
               + QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"),
                             QStringLiteral("ca.pem"), QStringLiteral("-days"), QStringLiteral("3650"),
                             QStringLiteral("-subj"), QStringLiteral("/CN=Pelmor Test CA"), QStringLiteral("-addext"),
                             QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                             QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")})
           && Sign(QStringLiteral("good"), local, oneYear)
           && Sign(QStringLiteral("other"), QStringLiteral("DNS:other.example"), oneYear)
           && Sign(QStringLiteral("expired"), local,
                   {QStringLiteral("-startdate"), QStringLiteral("20200101000000Z"), QStringLiteral("-enddate"),
                    QStringLiteral("20200201000000Z")})
           && Run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + NewKey
                  + QStringList{QStringLiteral("-keyout"), QStringLiteral("self.key"), QStringLiteral("-out"),
                                QStringLiteral("self.pem"), QStringLiteral("-days"), QStringLiteral("365"),
                                QStringLiteral("-subj"), QStringLiteral("/CN=self"), QStringLiteral("-addext"),
                                QStringLiteral("subjectAltName=") + local});
}
