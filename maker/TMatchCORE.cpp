#include "TMatchCORE.h"

#include "TRE_DFA.h"

#include <algorithm>
#include <limits>

int TMatchCORE::Match(const QByteArray &text, int &start, int &length)
{
    TRECompiled &pattern = Current();
    std::vector<int> offsets;
    std::vector<int> classes;
    // Positions are reported as int: the rest of a text beyond that range is not searched.
    const qsizetype limit = std::min(text.size(), qsizetype(std::numeric_limits<int>::max() - 1));
    int offset = 0;
    while (offset < limit && text[offset] != '\0') {
        const int bytes = TRESymbols::CharLength(text, offset);
        offsets.push_back(offset);
        classes.push_back(pattern.Classes->ClassOf(TRESymbols::SymbolAt(text, offset, bytes)));
        offset += bytes;
    }
    offsets.push_back(offset);
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
