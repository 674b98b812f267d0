#include "download/HttpChunkDecoder.h"

#include <algorithm>
#include <cstring>

namespace {
// A size line with extensions is short; anything longer is not chunked framing. Trailers are
// never read: the last chunk ends the body, and what follows it is not kept.
constexpr int MaxSizeLine = 1024;
} // namespace

void THttpChunkDecoder::Reset()
{
    FPhase = SizeLine;
    FLeft = 0;
    FLine.clear();
}

void THttpChunkDecoder::Feed(const char *data, int len, const TSink &sink)
{
    int i = 0;
    while (i < len && FPhase != Finished && FPhase != Broken) {
        if (FPhase == SizeLine) {
            const void *lf = std::memchr(data + i, '\n', static_cast<size_t>(len - i));
            const int end = lf ? static_cast<int>(static_cast<const char *>(lf) - data) : len;
            FLine.append(data + i, end - i);
            i = lf ? end + 1 : len;
            if (FLine.size() > MaxSizeLine)
                FPhase = Broken;
            else if (lf)
                EndSizeLine();
        } else if (FPhase == Payload) {
            const int take = static_cast<int>(std::min<qint64>(FLeft, len - i));
            sink(data + i, take);
            i += take;
            FLeft -= take;
            if (FLeft == 0)
                FPhase = PayloadEnd;
        } else {
            // The line end that closes a chunk's payload.
            const char c = data[i++];
            if (c == '\n')
                FPhase = SizeLine;
            else if (c != '\r')
                FPhase = Broken;
        }
    }
}

void THttpChunkDecoder::EndSizeLine()
{
    const int ext = FLine.indexOf(';');
    bool ok = false;
    const qint64 size = (ext >= 0 ? FLine.left(ext) : FLine).trimmed().toLongLong(&ok, 16);
    FLine.clear();
    if (!ok || size < 0)
        FPhase = Broken;
    else if (size == 0)
        FPhase = Finished;
    else {
        FLeft = size;
        FPhase = Payload;
    }
}
