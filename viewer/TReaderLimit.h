#pragma once

// The toolkit's image readers refuse, before they allocate, any picture above one process-wide limit
// counted in megabytes of a 32-bit bitmap, whatever the picture's depth: the viewer's own measure. The
// viewer's readers are held to the viewer's picture limit; a read of data that is bounded otherwise
// (a bitmap already in memory, a catalogue's icon grid) lifts it for itself alone.

#include "viewer/PictureLimit.h"

#include <QImageReader>

#include <algorithm>
#include <climits>

namespace TReaderLimit {

inline void Hold()
{
    QImageReader::setAllocationLimit(PictureLimit::MaxMegabytes);
}

// Lifts the limit to at least Bytes while it lives, then puts back the limit it found.
class TLift
{
public:
    explicit TLift(qint64 Bytes) : FSaved(QImageReader::allocationLimit())
    {
        const qint64 needed = Bytes / (1024 * 1024) + 1;
        if (FSaved > 0 && needed > FSaved)
            QImageReader::setAllocationLimit(int(std::min<qint64>(needed, INT_MAX)));
    }
    ~TLift() { QImageReader::setAllocationLimit(FSaved); }
    TLift(const TLift &) = delete;
    TLift &operator=(const TLift &) = delete;

private:
    const int FSaved;
};

} // namespace TReaderLimit
