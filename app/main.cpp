#include "HttpThr1.h"
#include "TGuardMessageBox.h"
#include "TStartOptions.h"
#include "Version.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QStringList commandLine;
    for (int i = 0; i < argc; ++i)
        commandLine.append(QString::fromLocal8Bit(argv[i]));
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
