#include "jconvert.h"

#include <QStringDecoder>

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

QString SjisToUnicode(const QByteArray &bytes)
{
    QStringDecoder decoder("Shift_JIS");
    return decoder.decode(bytes);
}

} // namespace jconvert
