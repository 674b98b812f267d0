#pragma once

#include "maker/ERegExpParser.h"
#include "maker/TMatchCORE.h"

// Regular expressions over Shift_JIS text, compiled to a deterministic automaton and matched
// leftmost-longest, a double-byte character counting as one symbol. An empty pattern matches the
// empty string at position 1, and "." any character, line separators included. The two
// dictionaries are not built: the flags are kept for callers.
class TAWKStr : public TMatchCORE
{
public:
    bool UseFuzzyCharDic = false;
    bool UseSynonymDic = false;
};
