#pragma once

#include "maker/TREParser.h"
#include "maker/TRESymbols.h"

#include <cstdint>
#include <vector>

// Nondeterministic automaton of a parse tree, over the pattern's symbol classes. Built reversed it
// accepts the mirrored language, which lets a backward pass find where the leftmost match starts.
class TRE_NFA
{
public:
    TRE_NFA(const TREParseTree &tree, const TRESymbols::TSymbolClasses &classes, bool reversed);

    int ClassCount() const { return Classes; }
    // The states reached from set (sorted) by epsilon moves, and by anchors whose line flags hold,
    // set included, keeping only those that read, anchor or accept: others behave alike.
    std::vector<int> Closure(const std::vector<int> &set, int lineFlags) const;
    std::vector<int> StartSet() const { return Closure({Start}, 0); }
    // Closure of the states reached from set by reading one symbol of class cls. A line mark is
    // invisible to all but the anchors: every state stays where it is across it.
    std::vector<int> Step(const std::vector<int> &set, int cls) const;
    bool Accepts(const std::vector<int> &set) const;

private:
    struct TState {
        std::vector<int> Epsilon;
        int Set = -1;   // index into ClassSets when the state reads a symbol
        int Anchor = 0; // TLineFlags the state waits for
        int Next = -1;  // where reading a symbol or passing the anchor leads
    };
    struct TFragment {
        int First;
        int Last;
    };

    int AddState();
    void Link(int from, int to) { States[from].Epsilon.push_back(to); }
    TFragment Build(const TREParseTree &node);
    bool Reads(int state, int cls) const;

    const TRESymbols::TSymbolClasses &SymbolClasses;
    bool Reversed;
    int Classes;
    int FirstMark;
    int Words; // 64-bit words per class set
    std::vector<TState> States;
    std::vector<uint64_t> ClassSets; // Words per set, one bit per class
    int Start = 0;
    int Accept = 0;
    mutable std::vector<unsigned> Seen;
    mutable unsigned Generation = 0;
};
