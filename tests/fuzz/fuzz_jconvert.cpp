// The code converter on any bytes must stay inside them and keep its size bounds; on well-formed
// EUC-JP built from the same bytes, every conversion must come back to the text it started from.
#include "core/jconvert.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>

using namespace jconvert;
using FuzzSupport::Check;

namespace {

void CheckAnyBytes(const QByteArray &bytes)
{
    const int code = DetectCode(bytes);
    Check(code >= jcAscii && code <= jcEucOrSjis, "a known code");
    const qsizetype n = bytes.size();
    for (const int target : {jcSjis, jcJis, jcEuc}) {
        const QByteArray out = ConvertCode(bytes, target);
        if (code == jcAscii || code == jcBinary || code == jcEucOrSjis || code == target)
            Check(out == bytes, "a text not converted comes back unchanged");
        // Shift_JIS never grows; EUC-JP at most doubles a half-width katakana; JIS adds escapes.
        const qsizetype bound = target == jcSjis ? n : target == jcEuc ? 2 * n : 5 * n;
        Check(out.size() <= bound, "output within its size bound");
    }
    const QByteArray base64 = EncodeBase64(bytes);
    Check(base64.size() == 4 * (n / 3) + (n % 3 ? 4 : 0), "Base64 length");
    Check(QByteArray::fromBase64(base64) == bytes, "Base64 decodes to the input");
}

// EUC-JP with ASCII (no escape byte), JIS X 0208 pairs and, when kana is set, half-width katakana.
QByteArray WellFormedEuc(const QByteArray &bytes, bool kana)
{
    QByteArray euc = "\xB0\xF0";
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const uchar a = uchar(bytes[i]);
        const uchar b = uchar(bytes[i + 1]);
        if (a < 0x60) {
            euc += a % 3 == 0 ? '\n' : char(0x20 + b % 0x5F);
        } else if (a < 0x80 && kana) {
            euc += '\x8E';
            euc += char(0xA1 + b % 0x3F);
        } else {
            euc += char(0xA1 + a % 0x5E);
            euc += char(0xA1 + b % 0x5E);
        }
    }
    return euc;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    CheckAnyBytes(bytes);

    const QByteArray euc = WellFormedEuc(bytes, true);
    const QByteArray sjis = ConvertCode(euc, jcSjis);
    Check(ConvertCode(sjis, jcEuc) == euc, "EUC-JP to Shift_JIS and back");
    const QByteArray plain = WellFormedEuc(bytes, false);
    const QByteArray jis = ConvertCode(plain, jcJis);
    Check(ConvertCode(jis, jcEuc) == plain, "EUC-JP to JIS and back");
    Check(ConvertCode(ConvertCode(plain, jcSjis), jcJis) == jis, "Shift_JIS and EUC-JP give the same JIS");
    Check(ConvertCode(jis, jcSjis) == ConvertCode(plain, jcSjis), "JIS and EUC-JP give the same Shift_JIS");
    return 0;
}
