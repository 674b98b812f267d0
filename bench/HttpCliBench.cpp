// Fetches one URL with THttpCli into a file, the way a download worker does; run by
// http_get.sh against curl on the same file.
#include "download/HttpProt.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s URL OUTPUT-FILE\n", argv[0]);
        return 2;
    }
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    THttpCli cli;
    cli.URL = QString::fromLocal8Bit(argv[1]);
    cli.ReceiveStream = &out;
    try {
        cli.Get();
    } catch (const EHttpException &e) {
        std::fprintf(stderr, "%s (%d)\n", qPrintable(e.Message()), e.ErrorCode());
        return 1;
    }
    out.close();
    if (cli.RcvdCount() != cli.ResponseLength()) {
        std::fprintf(stderr, "received %lld of %lld bytes\n", cli.RcvdCount(), cli.ResponseLength());
        return 1;
    }
    return 0;
}
