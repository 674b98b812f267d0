#include "HttpThr1.h"
#include "TBatchOptions.h"
#include "TBatchRun.h"
#include "TGuardMessageBox.h"
#include "TStartOptions.h"
#include "Version.h"

#include <QApplication>

#include <cstdio>
#include <unistd.h>

namespace {

int RunBatch(int argc, char **argv, const QStringList &commandLine)
{
    const TBatchOptions options = TBatchOptions::Parse(commandLine.mid(1));
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "pelmor: %s\n%s\n", qPrintable(options.error), qPrintable(TBatchOptions::Usage()));
        return TBatchRun::ExitUsage;
    }
    QCoreApplication app(argc, argv);
    TBatchRun run(options, stdout, stderr, isatty(STDOUT_FILENO) != 0);
    return run.Run();
}

} // namespace

int main(int argc, char **argv)
{
    QStringList commandLine;
    for (int i = 0; i < argc; ++i)
        commandLine.append(QString::fromLocal8Bit(argv[i]));
    if (commandLine.contains(QStringLiteral("--batch")))
        return RunBatch(argc, argv, commandLine);

    const TStartOptions options = TStartOptions::Parse(commandLine);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "pelmor: %s\n%s\n", qPrintable(options.error), qPrintable(TStartOptions::Usage()));
        return 2;
    }
    if (options.showVersion) {
        std::puts(PelmorVersionText);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pelmor"));
    TGuardMessageBox::Install();
    TFormMain form(options);
    form.show();
    return app.exec();
}
