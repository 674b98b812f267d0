// The answer reader on any bytes, no server: fed whole and in pieces it must find the same steps
// and fields, end at its limits, and never hold or keep more than it was given.
#include "download/HttpAnswer.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

struct TOutcome {
    std::vector<int> Steps;
    QStringList Fields;
    QByteArray Body;
};

TOutcome Read(const QByteArray &answer, qsizetype piece, bool tunnel)
{
    THttpAnswer a;
    a.Expect(QStringLiteral("http://h/a/b.jpg"), tunnel);
    TOutcome out;
    bool done = false;
    for (qsizetype at = 0; at < answer.size(); at += piece) {
        const qsizetype len = std::min(piece, answer.size() - at);
        // Bytes after the header's end are still fed: they belong to the body.
        THttpAnswer::TFound found = a.Feed(answer.constData() + at, int(len));
        while (!done && found != THttpAnswer::NeedMore) {
            out.Steps.push_back(found);
            FuzzSupport::Check(a.Held() <= answer.size(), "no more bytes held than fed");
            if (found == THttpAnswer::Failed)
                FuzzSupport::Check(a.Status() == 404 && a.FailCode() != 0, "a failure reads as 404 with its code");
            done = found == THttpAnswer::HeaderEnd || found == THttpAnswer::Failed;
            if (!done)
                found = a.Next();
        }
    }
    if (!done)
        FuzzSupport::Check(a.Held() < THttpAnswer::MaxLineBytes, "a reader waiting for more holds less than a line");
    else if (out.Steps.back() == THttpAnswer::HeaderEnd)
        out.Body = a.TakeBody();
    FuzzSupport::Check(a.ResponseLength() >= -1 && a.ContentRangeTotal() >= -1, "a size is -1 or a size");
    qsizetype kept = 0;
    for (const QString &line : a.ResponseHeaders())
        kept += line.size();
    FuzzSupport::Check(kept + out.Body.size() <= answer.size(), "no more header and body than the answer held");
    out.Fields = QStringList{QString::number(a.Status()),
                             a.Reason(),
                             QString::number(a.ResponseLength()),
                             a.ResponseType(),
                             a.Location(),
                             a.ResponseHeaders().join(QLatin1Char('\n'))};
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first byte picks a proxy's tunnel answer first or not, and the size of the pieces.
    const uint8_t how = size > 0 ? data[0] : 0;
    const QByteArray answer = size > 0 ? QByteArray(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1))
                                       : QByteArray();
    const bool tunnel = how & 1;
    const TOutcome whole = Read(answer, std::max<qsizetype>(answer.size(), 1), tunnel);
    const TOutcome pieces = Read(answer, (how >> 1) + 1, tunnel);
    // Bytes after a tunnel's answer are refused only when they come with it.
    if (!tunnel) {
        FuzzSupport::Check(whole.Steps == pieces.Steps, "the same steps however the bytes arrive");
        FuzzSupport::Check(whole.Fields == pieces.Fields, "the same fields however the bytes arrive");
        FuzzSupport::Check(whole.Body == pieces.Body, "the same body however the bytes arrive");
    }
    return 0;
}
