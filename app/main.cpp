#include "app/HttpThr1.h"
#include "app/TBatchDisplay.h"
#include "app/TBatchOptions.h"
#include "app/TBatchRun.h"
#include "app/TGuardMessageBox.h"
#include "app/TQtTranslation.h"
#include "app/TStartOptions.h"
#include "core/THandOver.h"
#include "core/TSingleInstance.h"
#include "core/Version.h"
#include "resources/TToolIcons.h"

#include <QApplication>

#include <cstdio>

namespace {

int RunBatch(int argc, char **argv, const QStringList &commandLine)
{
    const TBatchOptions options = TBatchOptions::Parse(commandLine.mid(1));
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "pelmor: %s\n%s\n", qPrintable(options.error), qPrintable(TStartOptions::Usage()));
        return TBatchRun::ExitUsage;
    }
    if (options.help) {
        std::printf("%s\n", qPrintable(TStartOptions::Usage()));
        return 0;
    }
    QCoreApplication app(argc, argv);
    const TTerminalKind terminal = TTerminalKind::Detect(STDOUT_FILENO);
    TBatchRun run(options, stdout, stderr, terminal.live, terminal.colour);
    return run.Run();
}

// Hands a file name to the running copy's viewer, as another program would.
int HandOver(int argc, char **argv, const QStringList &commandLine)
{
    const qsizetype at = commandLine.indexOf(QStringLiteral("--hand-over"));
    if (at + 1 >= commandLine.size()) {
        std::fprintf(stderr, "pelmor: --hand-over needs a file name\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    THandOver handOver;
    if (handOver.Send(commandLine[at + 1]))
        return 0;
    std::fprintf(stderr, "pelmor: %s\n", qPrintable(handOver.Reason()));
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList commandLine;
    for (int i = 0; i < argc; ++i)
        commandLine.append(QString::fromLocal8Bit(argv[i]));
    if (commandLine.contains(QStringLiteral("--batch")))
        return RunBatch(argc, argv, commandLine);
    if (commandLine.contains(QStringLiteral("--hand-over")))
        return HandOver(argc, argv, commandLine);

    const TStartOptions options = TStartOptions::Parse(commandLine);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "pelmor: %s\n%s\n", qPrintable(options.error), qPrintable(TStartOptions::Usage()));
        return 2;
    }
    if (options.showHelp) {
        std::printf("%s\n", qPrintable(TStartOptions::Usage()));
        return 0;
    }
    if (options.showVersion) {
        std::puts(PelmorVersionText);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pelmor"));
    // Ties the windows to the installed menu entry, whose icon the desktop then shows for them.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.pelmor.Pelmor"));
    // Every window, a message box with no parent too, carries the program's picture.
    QApplication::setWindowIcon(TToolIcons::ProgramIcon());
    // Without the translation Qt's buttons stay English; the program works the same.
    TQtTranslation::Install(app);
    // A running copy comes to the front; without an argument this start ends there.
    TSingleInstance instance;
    if (!instance.Claim(!options.arguments.isEmpty()))
        return 0;
    TGuardMessageBox::Install();
    TFormMain form(options);
    QObject::connect(&instance, &TSingleInstance::Raise, &form, &TFormMain::ShowFromTray);
    form.show();
    // Another run fetches into the same tmp: the window has said so, and this start ends here.
    if (form.FolderRefused)
        return 1;
    return app.exec();
}
