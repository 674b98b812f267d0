#include "core/jconvert.h"

#include <QStringDecoder>

#include <algorithm>
#include <utility>

namespace jconvert {

namespace {

using uchar = unsigned char;

constexpr uchar Esc = 0x1B;
constexpr int NonTextWindow = 512;
constexpr uchar VoicedMark = 0xDE;
constexpr uchar SemiVoicedMark = 0xDF;

bool In(uchar c, uchar low, uchar high)
{
    return c >= low && c <= high;
}

// Writes through a plain pointer into a buffer sized for the whole output where that is bounded by
// the input; converters that can grow the text ask for room before each step.
class TByteWriter
{
public:
    explicit TByteWriter(qsizetype expected)
    {
        FBuffer.resize(expected + 16);
        FPos = FBuffer.data();
        FLimit = FPos + FBuffer.size();
    }
    void Room(qsizetype n)
    {
        if (FLimit - FPos >= n)
            return;
        const qsizetype used = FPos - FBuffer.data();
        FBuffer.resize(2 * FBuffer.size() + n);
        FPos = FBuffer.data() + used;
        FLimit = FBuffer.data() + FBuffer.size();
    }
    void Put(uchar c) { *FPos++ = char(c); }
    void Put(uchar a, uchar b)
    {
        FPos[0] = char(a);
        FPos[1] = char(b);
        FPos += 2;
    }
    void Put(uchar a, uchar b, uchar c)
    {
        Put(a, b);
        Put(c);
    }
    QByteArray Take()
    {
        FBuffer.truncate(FPos - FBuffer.data());
        return std::move(FBuffer);
    }

private:
    QByteArray FBuffer;
    char *FPos = nullptr;
    char *FLimit = nullptr;
};

// A text as bytes with the "absent past the end" rule built in.
struct TBytes {
    const uchar *data;
    qsizetype size;
    bool Has(qsizetype i) const { return i < size; }
    uchar operator[](qsizetype i) const { return data[i]; }
};

TBytes BytesOf(const QByteArray &text)
{
    return {reinterpret_cast<const uchar *>(text.constData()), text.size()};
}

// ---- detection ----

// The code given by a byte in 0xA1..0xDF followed by d at i + 1; i moves past what was looked at.
int DetectAfterKanaOrEuc(const TBytes &s, qsizetype &i)
{
    const uchar d = s[i + 1];
    i += 2;
    if (In(d, 0xF0, 0xFE))
        return jcEuc;
    if (In(d, 0xA1, 0xDF))
        return jcEucOrSjis;
    if (In(d, 0xE0, 0xEF)) {
        // Both codes use this pair; what follows in the same run of 8-bit bytes decides.
        for (; s.Has(i) && s[i] >= 0x40; ++i) {
            if (In(s[i], 0x81, 0x8D) || In(s[i], 0x8F, 0x9C))
                return jcSjis;
            if (s[i] == 0xFD || s[i] == 0xFE)
                return jcEuc;
        }
        ++i;
        return jcEucOrSjis;
    }
    if (d <= 0x9F)
        return jcSjis;
    return jcAscii;
}

// The code given by the byte at i (never the last one); i moves to the next byte not looked at.
int DetectAt(const TBytes &s, qsizetype &i)
{
    const uchar c = s[i];
    if (c == Esc) {
        ++i;
        if (s[i] != 0x24) {
            ++i;
            return jcAscii;
        }
        ++i;
        if (!s.Has(i))
            return jcAscii;
        const uchar set = s[i++];
        return set == 0x42 ? jcJis : set == 0x40 ? jcJis78 : jcAscii;
    }
    if (c < 8 || c == 0xFF) {
        ++i;
        return jcBinary;
    }
    if (c <= 0x7F || c == 0x80 || c == 0xA0) {
        ++i;
        return jcAscii;
    }
    if (In(c, 0x81, 0x8D) || In(c, 0x8F, 0x9F)) {
        ++i;
        return jcSjis;
    }
    if (In(c, 0xF0, 0xFE)) {
        ++i;
        return jcEuc;
    }
    if (In(c, 0xA1, 0xDF))
        return DetectAfterKanaOrEuc(s, i);
    const uchar d = s[i + 1];
    i += 2;
    if (c == 0x8E) {
        if (In(d, 0x40, 0x7E) || In(d, 0x80, 0xA0) || In(d, 0xE0, 0xFC))
            return jcSjis;
        return In(d, 0xA1, 0xDF) ? jcEucOrSjis : jcAscii;
    }
    // 0xE0..0xEF
    if (In(d, 0x40, 0x7E) || In(d, 0x80, 0xA0))
        return jcSjis;
    if (d == 0xFD || d == 0xFE)
        return jcEuc;
    return In(d, 0xA1, 0xFC) ? jcEucOrSjis : jcAscii;
}

// ---- half-width katakana ----

// JIS X 0208 cell of each JIS X 0201 katakana 0x21..0x5F (row 1 or 5, see KanaRow).
constexpr uchar KanaCell[63] = {
    0x23, 0x56, 0x57, 0x22, 0x26, 0x72, 0x21, 0x23, 0x25, 0x27, 0x29, 0x63, 0x65, 0x67, 0x43, // ｡..ｯ
    0x3C, 0x22, 0x24, 0x26, 0x28, 0x2A, 0x2B, 0x2D, 0x2F, 0x31, 0x33, 0x35, 0x37, 0x39, 0x3B, // ｰ..ｾ
    0x3D, 0x3F, 0x41, 0x44, 0x46, 0x48, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x52, 0x55, 0x58, // ｿ..ﾍ
    0x5B, 0x5E, 0x5F, 0x60, 0x61, 0x62, 0x64, 0x66, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6F, // ﾎ..ﾜ
    0x73, 0x2B, 0x2C,                                                                         // ﾝﾞﾟ
};

uchar KanaRow(uchar k)
{
    return k <= 0x25 || k == 0x30 || k >= 0x5E ? 0x21 : 0x25;
}

// Writes the full-width JIS pair of the katakana byte kana; a voiced or semi-voiced mark (0 when
// none follows) is merged where the pair has such a form. Returns whether the mark was used.
bool PutWideKana(TByteWriter &out, uchar kana, uchar mark)
{
    const uchar k = kana & 0x7F;
    uchar cell = KanaCell[k - 0x21];
    bool merged = true;
    if (k == 0x33 && mark == VoicedMark)
        cell = 0x74;
    else if ((In(k, 0x36, 0x44) || In(k, 0x4A, 0x4E)) && mark == VoicedMark)
        cell += 1;
    else if (In(k, 0x4A, 0x4E) && mark == SemiVoicedMark)
        cell += 2;
    else
        merged = false;
    out.Put(KanaRow(k), cell);
    return merged;
}

bool IsKana(uchar c)
{
    return In(c, 0xA1, 0xDF);
}

// ---- the pair arithmetic ----

void PutJisAsSjis(TByteWriter &out, uchar j1, uchar j2)
{
    const uchar s1 = uchar(((j1 + 1) >> 1) + (j1 < 0x5F ? 0x70 : 0xB0));
    uchar s2;
    if (j1 & 1)
        s2 = uchar(j2 + (j2 <= 0x5F ? 0x1F : 0x20));
    else
        s2 = uchar(j2 + 0x7E);
    out.Put(s1, s2);
}

void PutSjisAsJis(TByteWriter &out, uchar s1, uchar s2, uchar topBits)
{
    const int adjust = s2 < 0x9F ? 1 : 0;
    const uchar j1 = uchar(2 * (s1 - (s1 < 0xA0 ? 0x70 : 0xB0)) - adjust);
    uchar j2;
    if (adjust)
        j2 = uchar(s2 - (s2 < 0x80 ? 0x1F : 0x20));
    else
        j2 = uchar(s2 - 0x7E);
    out.Put(j1 | topBits, j2 | topBits);
}

// ---- from JIS ----

// Walks a JIS text: escapes set the mode and produce nothing; put(c, i) handles the byte at i in the
// current mode and returns the index after what it used, or -1 when a pair is cut by the end.
template <typename Put>
void WalkJis(const TBytes &s, Put put)
{
    bool doubleByte = false;
    qsizetype i = 0;
    while (i < s.size) {
        if (s[i] == Esc) {
            if (!s.Has(i + 2))
                return;
            if (s[i + 1] == 0x24)
                doubleByte = true;
            else if (s[i + 1] == 0x28)
                doubleByte = false;
            i += 3;
            continue;
        }
        i = put(i, doubleByte);
        if (i < 0)
            return;
    }
}

QByteArray JisToSjis(const TBytes &s)
{
    TByteWriter out(s.size);
    WalkJis(s, [&](qsizetype i, bool doubleByte) -> qsizetype {
        if (!doubleByte) {
            out.Put(s[i]);
            return i + 1;
        }
        if (!s.Has(i + 1))
            return -1;
        PutJisAsSjis(out, s[i], s[i + 1]);
        return i + 2;
    });
    return out.Take();
}

QByteArray JisToEuc(const TBytes &s)
{
    TByteWriter out(s.size);
    WalkJis(s, [&](qsizetype i, bool doubleByte) -> qsizetype {
        const uchar c = s[i];
        out.Put(doubleByte && In(c, 0x21, 0x7E) ? uchar(c | 0x80) : c);
        return i + 1;
    });
    return out.Take();
}

// ---- to JIS ----

// The escapes around kanji runs, as a JIS writer needs them.
class TJisWriter
{
public:
    explicit TJisWriter(qsizetype expected) : FOut(expected + expected / 4) {}
    // Room for the longest step: an escape and a pair.
    TByteWriter &Kanji()
    {
        FOut.Room(5);
        if (!FKanji)
            FOut.Put(Esc, 0x24, 0x42);
        FKanji = true;
        return FOut;
    }
    void Single(uchar c)
    {
        FOut.Room(4);
        if (FKanji)
            FOut.Put(Esc, 0x28, 0x4A);
        FKanji = false;
        FOut.Put(c);
    }
    QByteArray Take() { return FOut.Take(); }

private:
    TByteWriter FOut;
    bool FKanji = false;
};

// Walks a text of single bytes and double-byte characters: single(c) handles a byte that stands alone
// and says whether it did; multi(i) handles the character at i and returns the index after it, or -1
// when the end cuts it.
template <typename Single, typename Multi>
void WalkBytes(const TBytes &s, Single single, Multi multi)
{
    for (qsizetype i = 0; i >= 0 && i < s.size;)
        i = single(s[i]) ? i + 1 : multi(i);
}

QByteArray SjisToJis(const TBytes &s)
{
    TJisWriter out(s.size);
    WalkBytes(
        s, [&](uchar c) { return c < 0x80 && (out.Single(c), true); },
        [&](qsizetype i) -> qsizetype {
            const uchar c = s[i];
            if (IsKana(c))
                return i + (PutWideKana(out.Kanji(), c, s.Has(i + 1) ? s[i + 1] : 0) ? 2 : 1);
            if (!s.Has(i + 1))
                return -1;
            PutSjisAsJis(out.Kanji(), c, s[i + 1], 0);
            return i + 2;
        });
    return out.Take();
}

QByteArray EucToJis(const TBytes &s)
{
    TJisWriter out(s.size);
    WalkBytes(
        s, [&](uchar c) { return c < 0x80 && (out.Single(c), true); },
        [&](qsizetype i) -> qsizetype {
            if (!s.Has(i + 1))
                return -1;
            const uchar c = s[i];
            const uchar d = s[i + 1];
            if (c == 0x8E && IsKana(d)) {
                const bool markFollows = s.Has(i + 3) && s[i + 2] == 0x8E;
                return i + (PutWideKana(out.Kanji(), d, markFollows ? s[i + 3] : 0) ? 4 : 2);
            }
            // A single shift before a byte that is no katakana is kept as an ordinary pair.
            out.Kanji().Put(c & 0x7F, d & 0x7F);
            return i + 2;
        });
    return out.Take();
}

// ---- between EUC-JP and Shift_JIS ----

QByteArray EucToSjis(const TBytes &s)
{
    TByteWriter out(s.size);
    WalkBytes(
        s, [&](uchar c) { return (c <= 0x80 || c == 0xFF) && (out.Put(c), true); },
        [&](qsizetype i) -> qsizetype {
            if (!s.Has(i + 1))
                return -1;
            if (s[i] == 0x8E)
                out.Put(s[i + 1]);
            else
                PutJisAsSjis(out, s[i] & 0x7F, s[i + 1] & 0x7F);
            return i + 2;
        });
    return out.Take();
}

QByteArray SjisToEuc(const TBytes &s)
{
    TByteWriter out(2 * s.size);
    WalkBytes(
        s, [&](uchar c) { return c < 0x80 && (out.Put(c), true); },
        [&](qsizetype i) -> qsizetype {
            const uchar c = s[i];
            if (IsKana(c)) {
                out.Put(0x8E, c);
                return i + 1;
            }
            if (!s.Has(i + 1))
                return -1;
            PutSjisAsJis(out, c, s[i + 1], 0x80);
            return i + 2;
        });
    return out.Take();
}

} // namespace

int DetectCode(const QByteArray &text)
{
    const TBytes s = BytesOf(text);
    const qsizetype window = std::min<qsizetype>(NonTextWindow, s.size - 1);
    for (qsizetype i = 0; i < window; ++i) {
        if (s[i] < 8 || s[i] == 0xFF)
            return jcBinary;
    }
    int code = jcAscii;
    // The last byte never starts a test, so every look at the byte after the first is in bounds.
    for (qsizetype i = 0; (code == jcAscii || code == jcEucOrSjis) && i < s.size - 1;) {
        const int found = DetectAt(s, i);
        if (found != jcAscii)
            code = found;
    }
    return code;
}

QByteArray ConvertCode(const QByteArray &text, int target)
{
    return ConvertCodeFrom(text, DetectCode(text), target);
}

QByteArray ConvertCodeFrom(const QByteArray &text, int found, int target)
{
    if (found == jcAscii || found == jcBinary || found == jcEucOrSjis || found == target)
        return text;
    const TBytes s = BytesOf(text);
    const bool fromJis = found == jcJis || found == jcJis78;
    switch (target) {
    case jcSjis:
        return fromJis ? JisToSjis(s) : found == jcEuc ? EucToSjis(s) : text;
    case jcJis:
        return found == jcEuc ? EucToJis(s) : found == jcSjis ? SjisToJis(s) : text;
    case jcEuc:
        return fromJis ? JisToEuc(s) : found == jcSjis ? SjisToEuc(s) : text;
    default:
        return text;
    }
}

QByteArray EncodeBase64(const QByteArray &bytes)
{
    return bytes.toBase64();
}

QString SjisToUnicode(const QByteArray &bytes)
{
    QStringDecoder decoder("Shift_JIS");
    return decoder.decode(bytes);
}

} // namespace jconvert
