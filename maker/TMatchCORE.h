#pragma once

#include "maker/TRegularExpression.h"

#include <vector>

enum TLineSeparator { mcls_CRLF, mcls_LF };

// Leftmost-longest search of the current pattern in Shift_JIS text, in two linear passes.
class TMatchCORE : public TRegularExpression
{
public:
    // 1-based start of the first match in text (0: none) and its length in bytes. The search
    // stops at the first zero byte.
    int Match(const QByteArray &text, int &start, int &length);

    // What ends a line for "^" and "$": CR LF, or LF alone.
    TLineSeparator LineSeparator = mcls_CRLF;

private:
    // The text as symbol classes with the byte offset of each; line marks when the pattern has anchors.
    struct TSymbolStream {
        std::vector<int> Offsets;
        std::vector<int> Classes;
    };
    TSymbolStream Symbols(const QByteArray &text, const TRECompiled &pattern) const;
};
