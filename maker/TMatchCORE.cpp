#include "maker/TMatchCORE.h"

#include "maker/TRE_DFA.h"

#include <algorithm>
#include <limits>

TMatchCORE::TSymbolStream TMatchCORE::Symbols(const QByteArray &text, const TRECompiled &pattern) const
{
    TSymbolStream stream;
    const auto add = [&](int offset, uint32_t symbol) {
        stream.Offsets.push_back(offset);
        stream.Classes.push_back(pattern.Classes->ClassOf(symbol));
    };
    const bool marks = pattern.UsesLineMarks;
    const int separator = LineSeparator == mcls_LF ? 1 : 2;
    int lineFlags = TRESymbols::lfStart;
    // Positions are reported as int: the rest of a text beyond that range is not searched.
    const qsizetype limit = std::min(text.size(), qsizetype(std::numeric_limits<int>::max() - 1));
    int offset = 0;
    while (offset < limit && text[offset] != '\0') {
        const bool lineBreak = marks
                               && (separator == 1
                                       ? text[offset] == '\n'
                                       : text[offset] == '\r' && offset + 1 < limit && text[offset + 1] == '\n');
        if (lineBreak)
            lineFlags |= TRESymbols::lfEnd;
        if (marks && lineFlags != 0)
            add(offset, TRESymbols::LineMark(lineFlags));
        lineFlags = 0;
        if (lineBreak) {
            for (int i = 0; i < separator; ++i, ++offset)
                add(offset, uchar(text[offset]));
            lineFlags = TRESymbols::lfStart;
            continue;
        }
        const int bytes = TRESymbols::CharLength(text, offset);
        add(offset, TRESymbols::SymbolAt(text, offset, bytes));
        offset += bytes;
    }
    if (marks)
        add(offset, TRESymbols::LineMark(lineFlags | TRESymbols::lfEnd));
    stream.Offsets.push_back(offset);
    return stream;
}

int TMatchCORE::Match(const QByteArray &text, int &start, int &length)
{
    TRECompiled &pattern = Current();
    const TSymbolStream stream = Symbols(text, pattern);
    const std::vector<int> &classes = stream.Classes;
    const std::vector<int> &offsets = stream.Offsets;
    const int symbols = int(classes.size());

    // Backwards, the mirrored pattern accepts exactly where some match starts; the last such
    // point reached is the leftmost start, found without rescanning the text.
    TRE_DFA &backward = *pattern.Backward;
    int state = backward.Start();
    int first = backward.Accepting(state) ? symbols : -1;
    for (int i = symbols - 1; i >= 0 && state != TRE_DFA::Dead; --i) {
        state = backward.Next(state, classes[i]);
        if (state != TRE_DFA::Dead && backward.Accepting(state))
            first = i;
    }
    if (first < 0) {
        start = 0;
        length = 0;
        return 0;
    }

    TRE_DFA &forward = *pattern.Forward;
    state = forward.Start();
    int last = first;
    for (int i = first; i < symbols; ++i) {
        state = forward.Next(state, classes[i]);
        if (state == TRE_DFA::Dead)
            break;
        if (forward.Accepting(state))
            last = i + 1;
    }
    start = offsets[first] + 1;
    length = offsets[last] - offsets[first];
    return start;
}
