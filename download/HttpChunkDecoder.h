#pragma once

#include <QByteArray>

#include <functional>

// Strips the framing of a body sent with "Transfer-Encoding: chunked", so that streams and
// handlers see the payload alone; it notices the last chunk, which ends the body.
class THttpChunkDecoder
{
public:
    using TSink = std::function<void(const char *data, int len)>;

    void Reset();
    // Passes each run of payload in data to sink, in order.
    void Feed(const char *data, int len, const TSink &sink);
    // The last chunk was read: the body has ended.
    bool Done() const { return FPhase == Trailer || FPhase == Finished; }
    bool Failed() const { return FPhase == Broken; }
    // The blank line after the last chunk was read and nothing came after it: the connection's
    // next byte belongs to another answer.
    bool Clean() const { return FPhase == Finished && !FUnclean; }

private:
    enum TPhase { SizeLine, Payload, PayloadEnd, Trailer, Finished, Broken };

    void EndSizeLine();
    // A line of the trailer section, which the blank line ends.
    void EndTrailerLine();

    TPhase FPhase = SizeLine;
    qint64 FLeft = 0;
    QByteArray FLine;
    bool FUnclean = false;
};
