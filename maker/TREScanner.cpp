#include "maker/TREScanner.h"

#include "maker/ERegExpParser.h"

#include <algorithm>

using TRESymbols::TInterval;

namespace {

std::vector<TInterval> Complement(std::vector<TInterval> intervals)
{
    std::sort(intervals.begin(), intervals.end(),
              [](const TInterval &a, const TInterval &b) { return a.First < b.First; });
    std::vector<TInterval> gaps;
    uint32_t next = 0;
    for (const TInterval &interval : intervals) {
        if (interval.First > next)
            gaps.push_back({next, interval.First - 1});
        next = std::max(next, interval.Last + 1);
    }
    if (next < TRESymbols::SymbolCount)
        gaps.push_back({next, TRESymbols::SymbolCount - 1});
    return gaps;
}

} // namespace

TREScanner::TREScanner(const QByteArray &pattern) : Pattern(pattern) {}

void TREScanner::Fail(const char *message, int position) const
{
    throw ERegExpParser(QString::fromLatin1(message), position);
}

uint32_t TREScanner::TakeChar()
{
    if (Pattern[Offset] == '\0')
        Fail("zero byte in pattern", Offset + 1);
    const int length = TRESymbols::CharLength(Pattern, Offset);
    const uint32_t symbol = TRESymbols::SymbolAt(Pattern, Offset, length);
    Offset += length;
    return symbol;
}

uint32_t TREScanner::TakeEscaped()
{
    const int position = Offset;
    ++Offset; // the backslash
    if (Offset >= Pattern.size())
        Fail("backslash at end of pattern", position + 1);
    switch (const uint32_t symbol = TakeChar()) {
    case 't':
        return '\t';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    default:
        return symbol;
    }
}

TREToken TREScanner::TakeClass(int position)
{
    TREToken token{tkSet, position, {}};
    const bool negated = Offset < Pattern.size() && Pattern[Offset] == '^';
    if (negated)
        ++Offset;
    bool first = true;
    for (;;) {
        if (Offset >= Pattern.size())
            Fail("missing ]", position);
        // A "]" right after the opening bracket is a member, so "[]]" finds "]".
        if (Pattern[Offset] == ']' && !first)
            break;
        first = false;
        const int itemPosition = Offset + 1;
        const uint32_t low = Pattern[Offset] == '\\' ? TakeEscaped() : TakeChar();
        uint32_t high = low;
        if (Offset + 1 < Pattern.size() && Pattern[Offset] == '-' && Pattern[Offset + 1] != ']') {
            ++Offset;
            high = Pattern[Offset] == '\\' ? TakeEscaped() : TakeChar();
            if (high < low)
                Fail("range out of order", itemPosition);
        }
        token.Intervals.push_back({low, high});
    }
    ++Offset; // the closing bracket
    if (negated)
        token.Intervals = Complement(std::move(token.Intervals));
    return token;
}

TREToken TREScanner::Next()
{
    if (Offset >= Pattern.size())
        return {tkEnd, Offset + 1, {}};
    const int position = Offset + 1;
    const char c = Pattern[Offset];
    const auto mark = [&](TRETokenKind kind) {
        ++Offset;
        return TREToken{kind, position, {}};
    };
    switch (c) {
    case '(':
        return mark(tkLParen);
    case ')':
        return mark(tkRParen);
    case '*':
        return mark(tkStar);
    case '+':
        return mark(tkPlus);
    case '?':
        return mark(tkQuestion);
    case '|':
        return mark(tkBar);
    case '.':
        ++Offset;
        return {tkSet, position, {{0, TRESymbols::SymbolCount - 1}}};
    case '[':
        ++Offset;
        return TakeClass(position);
    case '^':
        return mark(tkLineStart);
    case '$':
        return mark(tkLineEnd);
    case '\\': {
        const uint32_t symbol = TakeEscaped();
        return {tkSet, position, {{symbol, symbol}}};
    }
    default: {
        const uint32_t symbol = TakeChar();
        return {tkSet, position, {{symbol, symbol}}};
    }
    }
}
