#pragma once

#include "viewer/TIconList.h"

#include <QImage>
#include <QString>
#include <QStringList>

// The catalogue of a list of picture files without a window: what batch runs and the benchmark use,
// with the decoders of MakeViewerDecoders when they are wanted.
namespace TCatalogueBuild {

// The icon of a picture file decoded through the picture registry (and so the plug-ins); null when
// the file cannot be read. Pictures the toolkit reads are decoded straight at the icon's size.
QImage IconOfFile(const QString &FileName);

// Appends the icon of each file that decodes to Icons and its path to Captions, in the files' order.
void Build(const QStringList &Files, TIconList &Icons, QStringList &Captions);

} // namespace TCatalogueBuild
