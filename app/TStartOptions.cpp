#include "app/TStartOptions.h"

TStartOptions TStartOptions::Parse(const QStringList &commandLine)
{
    TStartOptions options;
    for (int i = 1; i < commandLine.size(); ++i) {
        const QString &arg = commandLine[i];
        const bool hasValue = i + 1 < commandLine.size();
        if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
            options.showHelp = true;
            return options;
        } else if (arg == QStringLiteral("--version")) {
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
    return QStringLiteral(
        "usage: pelmor [--ini FILE] [--folder DIR] [ARGUMENT]\n"
        "       pelmor --hand-over FILE\n"
        "       pelmor --batch [options] [LIST ...]\n"
        "       pelmor --version | --help\n"
        "\n"
        "Windows:\n"
        "  --ini FILE                      settings file (default: pelmor.ini in $XDG_CONFIG_HOME or ~/.config)\n"
        "  --folder DIR                    program folder; files go to DIR/tmp\n"
        "  ARGUMENT                        start a further copy even while one runs\n"
        "  --hand-over FILE                show FILE in the running copy's viewer and exit\n"
        "  --version                       print the version and exit\n"
        "  -h, --help                      print this and exit\n"
        "\n"
        "Batch mode, without windows (exit 0: every job complete, 1: not, 2: usage error):\n"
        "  LIST ...                        job lists to fetch (.WST, .WRG)\n"
        "  --urls FILE                     add every URL of FILE (one a line)\n"
        "  --make PATTERN START END LENGTH expand the first $ of PATTERN into numbers\n"
        "  --add URL                       add one URL\n"
        "  --split URL                     fetch URL in 12 parts at once and join them in tmp\n"
        "  --import URL                    add the files the page at URL links to; print its other\n"
        "                                  links as TREE lines (caption, URL)\n"
        "  --lazy-images                   --import also reads data-src, data-original and srcset\n"
        "  --ini FILE                      settings file (only read)\n"
        "  --folder DIR                    program folder; files go to DIR/tmp\n"
        "  --threads N                     workers, 1..9\n"
        "  --interval MS                   timer interval, 10..60000 ms\n"
        "  --starts-per-tick N             jobs started per tick while workers are free, 1..9 (default 1)\n"
        "  --host-limit N                  jobs of one host running at once, 0..9 (0: no limit)\n"
        "  --host-gap MS[±P%]              at least MS ms (0..600000) between two starts to one host,\n"
        "                                  spread at random by up to P% (also written +-P%)\n"
        "  --limit-rate RATE               cap the download rate of all jobs together, bytes per second\n"
        "                                  with an optional K or M (500K, 2M; 0: no cap)\n"
        "  --timeout N                     restart a job after about N seconds without progress\n"
        "  --max-tries N                   give a job up after N attempts (default: MaxTries, else 10)\n"
        "  --max-wait SECONDS              give a job up when its server asks to wait longer (default 300)\n"
        "  --location                      follow redirects (up to 10)\n"
        "  --cookies FILE                  send the cookies of a cookies.txt or Firefox cookies.sqlite\n"
        "  --netrc                         logins for URLs without one from $NETRC or ~/.netrc\n"
        "  --skip-done                     end jobs whose URL the download history holds, unfetched\n"
        "  --duplicates keep|remove        keep (default) or remove a file whose content the history\n"
        "                                  holds under another URL\n"
        "  --save FILE                     write the list when done\n"
        "  --catalogue FILE.pel            write a thumbnail catalogue of the jobs' files when done\n"
        "  -q, --quiet                     print only the jobs that failed and the TREE lines\n"
        "  -h, --help                      print this and exit");
}
