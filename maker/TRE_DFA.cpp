#include "maker/TRE_DFA.h"

#include <algorithm>
#include <iterator>

namespace {
constexpr int Unknown = -2;
}

TRE_DFA::TRE_DFA(std::unique_ptr<TRE_NFA> nfa, bool unanchored)
    : NFA(std::move(nfa)), Unanchored(unanchored), StartSet(NFA->StartSet())
{
}

size_t TRE_DFA::THash::operator()(const std::vector<int> &set) const
{
    size_t hash = 1469598103934665603u;
    for (int state : set)
        hash = (hash ^ size_t(state)) * 1099511628211u;
    return hash;
}

void TRE_DFA::Flush()
{
    Index.clear();
    Sets.clear();
    Accept.clear();
    Table.clear();
    SetElements = 0;
    ++Flushes;
}

int TRE_DFA::Intern(std::vector<int> &&set)
{
    if (set.empty())
        return Dead;
    if (const auto found = Index.find(set); found != Index.end())
        return found->second;
    const size_t classes = size_t(NFA->ClassCount());
    if (Sets.size() + 1 > MaxStates || Table.size() + classes > MaxTableCells
        || SetElements + set.size() > MaxSetElements)
        Flush();
    SetElements += set.size();
    const int id = int(Sets.size());
    Accept.push_back(NFA->Accepts(set));
    Table.resize(Table.size() + classes, Unknown);
    Sets.push_back(&Index.emplace(std::move(set), id).first->first);
    return id;
}

int TRE_DFA::Start()
{
    return Intern(std::vector<int>(StartSet));
}

int TRE_DFA::Next(int state, int cls)
{
    const size_t cell = size_t(state) * size_t(NFA->ClassCount()) + size_t(cls);
    if (Table[cell] != Unknown)
        return Table[cell];
    std::vector<int> next = NFA->Step(*Sets[state], cls);
    if (Unanchored) {
        std::vector<int> merged;
        std::set_union(next.begin(), next.end(), StartSet.begin(), StartSet.end(), std::back_inserter(merged));
        next = std::move(merged);
    }
    const size_t flushes = Flushes;
    const int id = Intern(std::move(next));
    // After a flush the source state is gone; the transition is learnt again when next needed.
    if (Flushes == flushes)
        Table[cell] = id;
    return id;
}
