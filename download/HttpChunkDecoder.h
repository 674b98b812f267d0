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
    bool Done() const { return FPhase == Finished; }
    bool Failed() const { return FPhase == Broken; }

private:
    enum TPhase { SizeLine, Payload, PayloadEnd, Finished, Broken };

    void EndSizeLine();

    TPhase FPhase = SizeLine;
    qint64 FLeft = 0;
    QByteArray FLine;
};
