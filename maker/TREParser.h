#pragma once

#include "maker/TREScanner.h"

#include <memory>
#include <vector>

enum TRENodeKind { ndEmpty, ndSet, ndLineStart, ndLineEnd, ndConcat, ndAlt, ndStar, ndPlus, ndOptional };

struct TREParseTree {
    TRENodeKind Kind = ndEmpty;
    std::vector<TRESymbols::TInterval> Intervals; // ndSet
    std::vector<std::unique_ptr<TREParseTree>> Children;
};

// Builds the parse tree of a pattern. Bounds keep a pattern from a page from exhausting the stack
// or the automaton's memory: the pattern's length and the nesting of its groups are limited.
class TREParser
{
public:
    static constexpr int MaxPatternLength = 512;
    static constexpr int MaxGroupDepth = 100;

    // ERegExpParser for a malformed or overlong pattern.
    static std::unique_ptr<TREParseTree> Parse(const QByteArray &pattern);

private:
    explicit TREParser(const QByteArray &pattern);
    std::unique_ptr<TREParseTree> Alternatives(int depth);
    std::unique_ptr<TREParseTree> Sequence(int depth);
    std::unique_ptr<TREParseTree> Repeated(int depth);
    void Advance() { Token = Scanner.Next(); }

    TREScanner Scanner;
    TREToken Token;
};
