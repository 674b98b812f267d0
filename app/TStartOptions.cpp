#include "TStartOptions.h"

TStartOptions TStartOptions::Parse(const QStringList &commandLine)
{
    TStartOptions options;
    for (int i = 1; i < commandLine.size(); ++i) {
        const QString &arg = commandLine[i];
        const bool hasValue = i + 1 < commandLine.size();
        if (arg == QStringLiteral("--version")) {
            options.showVersion = true;
        } else if (arg == QStringLiteral("--ini") || arg == QStringLiteral("--folder")) {
            if (!hasValue) {
                options.error = arg + QStringLiteral(" needs a value");
                return options;
            }
            (arg == QStringLiteral("--ini") ? options.iniFile : options.folder) = commandLine[++i];
        } else if (arg.startsWith(QStringLiteral("--"))) {
            options.error = QStringLiteral("unknown option ") + arg;
            return options;
        } else {
            options.arguments.append(arg);
        }
    }
    return options;
}

QString TStartOptions::Usage()
{
    return QStringLiteral("usage: pelmor [--version] [--ini FILE] [--folder DIR] [ARGUMENT]\n"
                          "       pelmor --hand-over FILE\n"
                          "       pelmor --batch [options] [LIST ...]");
}
