#include "maker/TRE_NFA.h"

#include <algorithm>

TRE_NFA::TRE_NFA(const TREParseTree &tree, const TRESymbols::TSymbolClasses &classes, bool reversed)
    : SymbolClasses(classes)
    , Reversed(reversed)
    , Classes(classes.Count())
    , FirstMark(classes.FirstMarkClass())
    , Words((classes.Count() + 63) / 64)
{
    const TFragment whole = Build(tree);
    Start = whole.First;
    Accept = whole.Last;
    Seen.assign(States.size(), 0);
}

int TRE_NFA::AddState()
{
    States.emplace_back();
    return int(States.size()) - 1;
}

TRE_NFA::TFragment TRE_NFA::Build(const TREParseTree &node)
{
    switch (node.Kind) {
    case ndEmpty: {
        const int state = AddState();
        return {state, state};
    }
    case ndSet: {
        const int from = AddState();
        const int to = AddState();
        States[from].Set = int(ClassSets.size()) / Words;
        States[from].Next = to;
        ClassSets.resize(ClassSets.size() + Words, 0);
        uint64_t *bits = &ClassSets[ClassSets.size() - Words];
        for (const TRESymbols::TInterval &interval : node.Intervals)
            for (int cls = SymbolClasses.FirstClass(interval); cls <= SymbolClasses.LastClass(interval); ++cls)
                bits[cls / 64] |= uint64_t(1) << (cls % 64);
        return {from, to};
    }
    case ndLineStart:
    case ndLineEnd: {
        const int from = AddState();
        States[from].Anchor = node.Kind == ndLineStart ? TRESymbols::lfStart : TRESymbols::lfEnd;
        States[from].Next = AddState();
        return {from, States[from].Next};
    }
    case ndConcat: {
        std::vector<TFragment> parts;
        for (const auto &child : node.Children)
            parts.push_back(Build(*child));
        if (Reversed)
            std::reverse(parts.begin(), parts.end());
        for (size_t i = 1; i < parts.size(); ++i)
            Link(parts[i - 1].Last, parts[i].First);
        return {parts.front().First, parts.back().Last};
    }
    case ndAlt: {
        const int from = AddState();
        const int to = AddState();
        for (const auto &child : node.Children) {
            const TFragment part = Build(*child);
            Link(from, part.First);
            Link(part.Last, to);
        }
        return {from, to};
    }
    case ndStar:
    case ndPlus:
    case ndOptional: {
        const TFragment body = Build(*node.Children.front());
        const int from = AddState();
        const int to = AddState();
        Link(from, body.First);
        Link(body.Last, to);
        if (node.Kind != ndPlus)
            Link(from, to);
        if (node.Kind != ndOptional)
            Link(body.Last, body.First);
        return {from, to};
    }
    }
    return {AddState(), AddState()};
}

std::vector<int> TRE_NFA::Closure(const std::vector<int> &set, int lineFlags) const
{
    if (++Generation == 0) {
        std::fill(Seen.begin(), Seen.end(), 0);
        Generation = 1;
    }
    std::vector<int> pending;
    std::vector<int> result;
    for (int state : set) {
        if (Seen[state] != Generation) {
            Seen[state] = Generation;
            pending.push_back(state);
        }
    }
    const auto reach = [&](int next) {
        if (Seen[next] != Generation) {
            Seen[next] = Generation;
            pending.push_back(next);
        }
    };
    while (!pending.empty()) {
        const int state = pending.back();
        pending.pop_back();
        const TState &node = States[size_t(state)];
        if (node.Set >= 0 || node.Anchor != 0 || state == Accept)
            result.push_back(state);
        if (node.Anchor & lineFlags)
            reach(node.Next);
        for (int next : node.Epsilon)
            reach(next);
    }
    std::sort(result.begin(), result.end());
    return result;
}

bool TRE_NFA::Reads(int state, int cls) const
{
    const int set = States[state].Set;
    return set >= 0 && (ClassSets[size_t(set) * Words + cls / 64] >> (cls % 64) & 1);
}

std::vector<int> TRE_NFA::Step(const std::vector<int> &set, int cls) const
{
    if (cls >= FirstMark)
        return Closure(set, cls - FirstMark + 1);
    std::vector<int> reached;
    for (int state : set)
        if (Reads(state, cls))
            reached.push_back(States[state].Next);
    return Closure(reached, 0);
}

bool TRE_NFA::Accepts(const std::vector<int> &set) const
{
    return std::binary_search(set.begin(), set.end(), Accept);
}
