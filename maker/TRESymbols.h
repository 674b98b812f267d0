#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

// A symbol is one character of Shift_JIS text: a single byte, or lead byte * 256 + trail byte for a
// double-byte character, so that the automaton reads a double-byte character as one step.
namespace TRESymbols {

constexpr uint32_t SymbolCount = 0x10000;
// A zero-width mark put into the symbol stream where a line starts (flag 1), ends (flag 2) or both
// (an empty line); only "^" and "$" react to it.
enum TLineFlags { lfStart = 1, lfEnd = 2 };
constexpr uint32_t LineMark(int flags)
{
    return SymbolCount - 1 + uint32_t(flags);
}
constexpr uint32_t SymbolLimit = LineMark(lfStart | lfEnd) + 1;

bool IsLeadByte(unsigned char byte);
// Bytes taken by the character at offset: 2 for a lead byte followed by a non-zero byte, else 1.
int CharLength(const QByteArray &text, int offset);
uint32_t SymbolAt(const QByteArray &text, int offset, int length);

// The symbols from First to Last, both included.
struct TInterval {
    uint32_t First;
    uint32_t Last;
};

// Splits the symbol range at every interval edge of a pattern, so that all symbols in one class
// behave alike everywhere in that pattern and the automaton's tables are one column per class.
class TSymbolClasses
{
public:
    explicit TSymbolClasses(const std::vector<TInterval> &intervals);
    int Count() const { return int(Bounds.size()) - 1; }
    // The three line marks have the last three classes, in the order of their flags.
    int FirstMarkClass() const { return Count() - 3; }
    int ClassOf(uint32_t symbol) const;
    // Classes covered by an interval: a contiguous run, first and last included.
    int FirstClass(const TInterval &interval) const { return ClassOf(interval.First); }
    int LastClass(const TInterval &interval) const { return ClassOf(interval.Last); }

private:
    std::vector<uint32_t> Bounds; // ascending class starts, ending with SymbolLimit
    std::vector<uint16_t> ByteClass;
};

} // namespace TRESymbols
