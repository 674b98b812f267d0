#pragma once

#include "maker/TRESymbols.h"

#include <QByteArray>

#include <vector>

enum TRETokenKind { tkSet, tkLineStart, tkLineEnd, tkLParen, tkRParen, tkStar, tkPlus, tkQuestion, tkBar, tkEnd };

struct TREToken {
    TRETokenKind Kind = tkEnd;
    int Position = 0; // 1-based byte position in the pattern
    // For tkSet: the symbols it stands for; a literal, "." and "[...]" all become a set.
    std::vector<TRESymbols::TInterval> Intervals;
};

// Cuts a pattern into tokens, reading a Shift_JIS double-byte character as one character.
class TREScanner
{
public:
    explicit TREScanner(const QByteArray &pattern);
    // ERegExpParser for a malformed class or escape, or a zero byte.
    TREToken Next();

private:
    uint32_t TakeChar();
    uint32_t TakeEscaped();
    TREToken TakeClass(int position);
    [[noreturn]] void Fail(const char *message, int position) const;

    QByteArray Pattern;
    int Offset = 0;
};
