#include "maker/HtmlParser.h"

namespace {

// The source ends at its first zero byte, as the text it came from would.
QByteArray UpToZero(const QByteArray &source)
{
    const qsizetype zero = source.indexOf('\0');
    return zero < 0 ? source : source.left(zero);
}

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

// Only ASCII letters fold: the other bytes are Shift_JIS and must match exactly.
bool EqualsIgnoringAsciiCase(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

} // namespace

TSimpleHTMLParser::TSimpleHTMLParser(const QByteArray &source) : FSource(UpToZero(source))
{
    Next();
}

void TSimpleHTMLParser::Next()
{
    const char *s = FSource.constData();
    const int end = int(FSource.size());
    FTokenText.clear();
    while (FPosition < end && quint8(s[FPosition]) >= 1 && quint8(s[FPosition]) <= 32)
        ++FPosition;
    FTokenStart = FPosition;
    if (FPosition >= end) {
        FKind = kindEnd;
        return;
    }
    if (s[FPosition] == '<') {
        const qsizetype close = FSource.indexOf('>', FPosition + 1);
        const int stop = close < 0 ? end : int(close);
        FTokenText = FSource.mid(FPosition + 1, stop - FPosition - 1);
        FKind = kindTag;
        FPosition = close < 0 ? end : stop + 1;
        return;
    }
    int stop = FPosition;
    while (stop < end && s[stop] != '\n' && s[stop] != '\r' && s[stop] != '<')
        ++stop;
    FTokenText = FSource.mid(FPosition, stop - FPosition);
    FKind = kindText;
    FPosition = stop;
}

bool TSimpleHTMLParser::IsTag(const QByteArray &name) const
{
    return FKind == kindTag && (EqualsIgnoringAsciiCase(FTokenText, name) || FTokenText.startsWith(name));
}
