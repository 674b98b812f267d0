#pragma once

#include <QStringList>

class QWidget;

// Drags local files out to other programs: the only action offered is copy.
namespace TFileDrag {

// Runs the drag from Source with the files as URLs; returns when the drop or the cancel is done.
void OfferCopy(QWidget *Source, const QStringList &Files);

} // namespace TFileDrag
