#pragma once

#include "TIconList.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <memory>

class TSPIs;

// The catalogue of a list of picture files without a window: what batch runs and the benchmark use.
namespace TCatalogueBuild {

// The plug-in collection a headless build decodes with: the decoders of the Susie plug-in folder
// and of the program's folder, as the viewer's.
std::unique_ptr<TSPIs> MakeDecoders();

// The icon of a picture file decoded through the picture registry (and so the plug-ins); null when
// the file cannot be read. Pictures the toolkit reads are decoded straight at the icon's size.
QImage IconOfFile(const QString &FileName);

// Appends the icon of each file that decodes to Icons and its path to Captions, in the files' order.
void Build(const QStringList &Files, TIconList &Icons, QStringList &Captions);

} // namespace TCatalogueBuild
