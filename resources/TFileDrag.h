#pragma once

#include <QStringList>

class QMimeData;
class QWidget;

// Drags local files out to other programs: the only action offered is copy.
namespace TFileDrag {

// Runs the drag from Source with the files as URLs; returns when the drop or the cancel is done.
void OfferCopy(QWidget *Source, const QStringList &Files);

// The web links a drag carries (a browser's link or address), one a line; empty when it carries
// none: local files and bare text are not links.
QString DraggedLinks(const QMimeData &Mime);

} // namespace TFileDrag
