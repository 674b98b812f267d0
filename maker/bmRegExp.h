#pragma once

#include "ERegExpParser.h"
#include "TMatchCORE.h"

enum TLineSeparator { mcls_CRLF, mcls_LF };

// Regular expressions over Shift_JIS text, compiled to a deterministic automaton and matched
// leftmost-longest, a double-byte character counting as one symbol. An empty pattern matches the
// empty string at position 1. The line anchors are not built, so LineSeparator has no effect, and
// the two dictionaries are not built either.
class TAWKStr : public TMatchCORE
{
public:
    TLineSeparator LineSeparator = mcls_CRLF;
    bool UseFuzzyCharDic = false;
    bool UseSynonymDic = false;
};
