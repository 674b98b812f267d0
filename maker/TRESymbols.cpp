#include "maker/TRESymbols.h"

#include <algorithm>

namespace TRESymbols {

bool IsLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

int CharLength(const QByteArray &text, int offset)
{
    if (IsLeadByte(uchar(text[offset])) && offset + 1 < text.size() && text[offset + 1] != '\0')
        return 2;
    return 1;
}

uint32_t SymbolAt(const QByteArray &text, int offset, int length)
{
    const uint32_t first = uchar(text[offset]);
    return length == 2 ? first << 8 | uchar(text[offset + 1]) : first;
}

TSymbolClasses::TSymbolClasses(const std::vector<TInterval> &intervals)
{
    Bounds.reserve(intervals.size() * 2 + 5);
    Bounds.insert(Bounds.end(), {0, LineMark(1), LineMark(2), LineMark(3), SymbolLimit});
    for (const TInterval &interval : intervals) {
        Bounds.push_back(interval.First);
        Bounds.push_back(interval.Last + 1);
    }
    std::sort(Bounds.begin(), Bounds.end());
    Bounds.erase(std::unique(Bounds.begin(), Bounds.end()), Bounds.end());

    // Most text is single-byte: a direct table spares the search there.
    ByteClass.resize(256);
    int cls = 0;
    for (uint32_t byte = 0; byte < 256; ++byte) {
        while (Bounds[cls + 1] <= byte)
            ++cls;
        ByteClass[byte] = uint16_t(cls);
    }
}

int TSymbolClasses::ClassOf(uint32_t symbol) const
{
    if (symbol < 256)
        return ByteClass[symbol];
    return int(std::upper_bound(Bounds.begin(), Bounds.end(), symbol) - Bounds.begin()) - 1;
}

} // namespace TRESymbols
