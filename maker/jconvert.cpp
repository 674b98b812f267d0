#include "jconvert.h"

namespace jconvert {

int DetectCode(const QByteArray &)
{
    return jcAscii;
}

QByteArray ConvertCode(const QByteArray &text, int)
{
    return text;
}

QByteArray EncodeBase64(const QByteArray &bytes)
{
    return bytes.toBase64();
}

} // namespace jconvert
