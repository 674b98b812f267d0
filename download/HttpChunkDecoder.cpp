#include "download/HttpChunkDecoder.h"

#include <algorithm>
#include <cstring>

namespace {
// A size line with extensions is short; anything longer is not chunked framing. Trailer lines are
// read past, never kept: the last chunk ends the body, their end only frees the connection.
constexpr int MaxSizeLine = 1024;
} // namespace

void THttpChunkDecoder::Reset()
{
    FPhase = SizeLine;
    FLeft = 0;
    FLine.clear();
    FUnclean = false;
}

void THttpChunkDecoder::Feed(const char *data, int len, const TSink &sink)
{
    int i = 0;
    while (i < len && FPhase != Broken) {
        if (FPhase == Finished) {
            // Bytes past the body's framing: not this answer's, and no start of the next one's.
            FUnclean = true;
            return;
        }
        if (FPhase == SizeLine || FPhase == Trailer) {
            const void *lf = std::memchr(data + i, '\n', static_cast<size_t>(len - i));
            const int end = lf ? static_cast<int>(static_cast<const char *>(lf) - data) : len;
            FLine.append(data + i, end - i);
            i = lf ? end + 1 : len;
            if (FPhase == Trailer && (FLine.size() > MaxSizeLine || lf))
                EndTrailerLine();
            else if (FLine.size() > MaxSizeLine)
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
        FPhase = Trailer;
    else {
        FLeft = size;
        FPhase = Payload;
    }
}

void THttpChunkDecoder::EndTrailerLine()
{
    // An endless trailer line ends the reading; the body is whole, the connection is not reused.
    FUnclean = FLine.size() > MaxSizeLine;
    if (FUnclean || FLine == "\r" || FLine.isEmpty())
        FPhase = Finished;
    FLine.clear();
}
