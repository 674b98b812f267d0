// The catalogue build of batch mode as a program of its own, for bench/catalogue_peers.sh:
//   bench_catalogue make DIR COUNT   writes COUNT JPEG files of 2000 by 1500 pixels into DIR
//   bench_catalogue build OUT.pel FILE...   the icons of the files, written as a catalogue
#include "viewer/SPIs.h"
#include "viewer/TCatalogueBuild.h"
#include "viewer/TPelFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdio>

namespace {

// A few distinct pictures (gradients and bands, so that the JPEG holds real detail), copied to the
// other names: decoding costs the same, generating them all would take minutes.
int Make(const QString &folder, int count)
{
    constexpr int Distinct = 8;
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("%1/p%2.jpg").arg(folder).arg(i, 4, 10, QLatin1Char('0'));
        if (i < Distinct) {
            QImage image(2000, 1500, QImage::Format_RGB32);
            for (int y = 0; y < image.height(); ++y) {
                auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x)
                    row[x] = qRgb((x * (i + 1)) / 8 % 256, (y * 3 + x / 50 * 40) % 256, ((x ^ y) * (i + 3)) % 256);
            }
            if (!image.save(name, "JPG", 85))
                return 1;
        } else if (!QFile::copy(QStringLiteral("%1/p%2.jpg").arg(folder).arg(i % Distinct, 4, 10, QLatin1Char('0')),
                                name)) {
            return 1;
        }
    }
    return 0;
}

int Build(const QString &output, const QStringList &files)
{
    const std::unique_ptr<TSPIs> decoders = MakeViewerDecoders();
    TIconList icons;
    QStringList captions;
    TCatalogueBuild::Build(files, icons, captions);
    try {
        TPelFile::Save(output, icons, captions);
    } catch (const EPelFile &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("%d icons\n", icons.Count());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args[0] == QStringLiteral("make"))
        return Make(args[1], args[2].toInt());
    if (args.size() >= 2 && args[0] == QStringLiteral("build"))
        return Build(args[1], args.mid(2));
    std::fprintf(stderr, "usage: bench_catalogue make DIR COUNT | build OUT.pel FILE...\n");
    return 2;
}
