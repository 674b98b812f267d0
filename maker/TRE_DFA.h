#pragma once

#include "maker/TRE_NFA.h"

#include <memory>
#include <unordered_map>
#include <vector>

// Deterministic automaton built lazily from an NFA, a state per set of NFA states the text has
// actually led to. Its memory is capped; at the cap the states are dropped and rebuilt on demand,
// so a pattern with an exponential subset blow-up costs time per symbol, never unbounded memory.
class TRE_DFA
{
public:
    static constexpr int Dead = -1;
    static constexpr size_t MaxStates = 4096;
    static constexpr size_t MaxTableCells = size_t(1) << 16;
    static constexpr size_t MaxSetElements = size_t(1) << 16;

    // Unanchored, the automaton may begin a match at every symbol: it runs the NFA's start along.
    TRE_DFA(std::unique_ptr<TRE_NFA> nfa, bool unanchored);

    int Start();
    // A state id from an earlier call stays valid only until the next call: a flush renumbers.
    int Next(int state, int cls);
    bool Accepting(int state) const { return Accept[state]; }

private:
    struct THash {
        size_t operator()(const std::vector<int> &set) const;
    };
    int Intern(std::vector<int> &&set);
    void Flush();

    std::unique_ptr<TRE_NFA> NFA;
    bool Unanchored;
    std::vector<int> StartSet;
    std::unordered_map<std::vector<int>, int, THash> Index;
    std::vector<const std::vector<int> *> Sets;
    std::vector<char> Accept;
    std::vector<int> Table; // ClassCount per state; Unknown until first taken
    size_t SetElements = 0;
    size_t Flushes = 0;
};
