// Imports the links of a generated 2 MiB page holding 20,000 link attributes and compares the run,
// as a whole process, with xmllint's HTML parser pulling the same addresses out of the same page.
// xmllint parses and extracts, as the import does, without the network a crawler would add. The
// import runs with LazyImages 0 and 1 by turns, and the medians of ROUNDS runs (default 3) are compared.
#include "core/TJobListModel.h"
#include "core/TSettings.h"
#include "maker/TLinkImport.h"
#include "maker/TLinkTreeModel.h"
#include "maker/bmRegExp.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

constexpr int Links = 20000;
constexpr qsizetype PageSize = 2 << 20;

QByteArray MakePage()
{
    QByteArray page = "<html><head><title>archive</title></head><body>\n";
    const QByteArray filler = "<p>Notes on the gallery, written between the links to pad the page out.</p>\n";
    const qsizetype perLink = PageSize / Links + 1;
    for (int i = 0; i < Links; ++i) {
        const QByteArray n = QByteArray::number(i);
        const qsizetype start = page.size();
        switch (i % 4) {
        case 0:
            page += "<li><a href=\"pages/p" + n + ".html\" class=\"page\">Gallery page " + n + "</a>\n";
            break;
        case 1:
            page += "<li><a href=\"img/photo" + n + ".jpg\">Photo " + n + " <b>full size</b></a>\n";
            break;
        case 2:
            page += "<img src=\"thumb/t" + n + ".jpg\" width=\"120\" height=\"90\" alt=\"thumb\">\n";
            break;
        default:
            page += "<li><a href=\"/cgi/view?id=" + n + "\">View " + n + "</a>\n";
            break;
        }
        while (page.size() - start < perLink)
            page += filler.left(perLink - (page.size() - start));
    }
    return page + "</body></html>\n";
}

// Runs the command to its end; its wall time in seconds and its peak resident size in KiB.
bool Measure(const std::vector<std::string> &command, double *seconds, long *peakKiB)
{
    std::vector<char *> argv;
    for (const std::string &part : command)
        argv.push_back(const_cast<char *>(part.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    *seconds = timer.nsecsElapsed() / 1e9;
    *peakKiB = usage.ru_maxrss;
    return true;
}

// The child run: one import of the page file, its own time on stderr.
int Import(const QString &file, bool lazy)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return 1;
    QByteArray page = in.readAll();
    TJobListModel jobs;
    TLinkTreeModel tree;
    TAWKStr awk;
    TSettings settings;
    settings.LazyImages = lazy ? 1 : 0;
    QElapsedTimer timer;
    timer.start();
    TLinkImport(jobs, tree, awk)
        .ScanLinks(page, QStringLiteral("http://bench.example/archive/index.html"), {}, settings);
    std::fprintf(stderr, "import alone: %.3f s, %d jobs, %d tree nodes\n", timer.nsecsElapsed() / 1e9, jobs.RowCount(),
                 tree.NodeCount());
    return jobs.RowCount() + tree.NodeCount() == Links ? 0 : 2;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--import")
        return Import(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]) == "1");

    const QString file =
        QDir::temp().filePath(QStringLiteral("pelmor-bench-%1.html").arg(QCoreApplication::applicationPid()));
    QFile out(file);
    const QByteArray html = MakePage();
    if (!out.open(QIODevice::WriteOnly) || out.write(html) != html.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return 1;
    }
    out.close();
    const std::string page = file.toStdString();
    double ours = 0, peer = 0, parse = 0, lazy = 0;
    long oursKiB = 0, peerKiB = 0, parseKiB = 0, lazyKiB = 0;
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const int rounds = qEnvironmentVariableIsSet("ROUNDS") ? std::max(1, qEnvironmentVariableIntValue("ROUNDS")) : 3;
    std::vector<double> plainRuns, lazyRuns;
    bool ranOurs = true;
    for (int round = 0; round < rounds && ranOurs; ++round) {
        ranOurs = Measure({self, "--import", page, "0"}, &ours, &oursKiB)
                  && Measure({self, "--import", page, "1"}, &lazy, &lazyKiB);
        plainRuns.push_back(ours);
        lazyRuns.push_back(lazy);
    }
    ours = Median(plainRuns);
    lazy = Median(lazyRuns);
    const bool ranPeer = Measure({"/usr/bin/xmllint", "--html", "--noout", "--xpath", "//a/@href|//img/@src", page},
                                 &peer, &peerKiB);
    const bool ranParse = Measure({"/usr/bin/xmllint", "--html", "--noout", page}, &parse, &parseKiB);
    QFile::remove(file);
    if (!ranOurs) {
        std::fprintf(stderr, "the import run failed\n");
        return 1;
    }
    std::printf("import of %lld bytes, %d links: %.3f s, peak %ld KiB (median of %d)\n", qlonglong(html.size()), Links,
                ours, oursKiB, rounds);
    std::printf("the same with LazyImages 1: %.3f s, peak %ld KiB; ratio %.2f\n", lazy, lazyKiB, lazy / ours);
    if (!ranPeer) {
        std::printf("xmllint did not run (package libxml2-utils)\n");
        return 0;
    }
    std::printf("xmllint --html --xpath on the same page: %.3f s, peak %ld KiB\n", peer, peerKiB);
    std::printf("ratios ours/xmllint: time %.2f, memory %.2f\n", ours / peer, double(oursKiB) / peerKiB);
    if (ranParse)
        std::printf("xmllint --html parse only: %.3f s, peak %ld KiB; ratios: time %.2f, memory %.2f\n", parse,
                    parseKiB, ours / parse, double(oursKiB) / parseKiB);
    return 0;
}
