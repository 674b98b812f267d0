#pragma once

#include <QByteArray>

#include <memory>
#include <vector>

class TRE_DFA;
namespace TRESymbols {
class TSymbolClasses;
}

// A compiled pattern: its symbol classes and two automata, one to find where the leftmost match
// starts (run backwards over the text) and one to find its longest end from there.
struct TRECompiled {
    QByteArray Text;
    std::unique_ptr<TRESymbols::TSymbolClasses> Classes;
    std::unique_ptr<TRE_DFA> Forward;
    std::unique_ptr<TRE_DFA> Backward;
    bool UsesLineMarks = false; // the pattern has "^" or "$"
    ~TRECompiled();
};

// The compiled-pattern cache: entry 0 is the empty pattern, new patterns go in at entry 1 and the
// last entry goes when the cache is full, so patterns used in turn are compiled once.
class TRegularExpression
{
public:
    static constexpr int MaxCacheEntries = 30;

    TRegularExpression();
    ~TRegularExpression();
    TRegularExpression(const TRegularExpression &) = delete;
    TRegularExpression &operator=(const TRegularExpression &) = delete;

    // Makes pattern current, compiling it unless it is cached; ERegExpParser for a malformed
    // pattern, which leaves the empty pattern current.
    void SetRegExp(const QByteArray &pattern);
    QByteArray RegExp() const;
    // Compiled patterns held, the empty one included.
    int CacheCount() const;

protected:
    TRECompiled &Current() { return *Cache[CurrentEntry]; }

private:
    std::vector<std::unique_ptr<TRECompiled>> Cache;
    size_t CurrentEntry = 0;
};
