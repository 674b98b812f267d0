#pragma once

#include "TRegularExpression.h"

// Leftmost-longest search of the current pattern in Shift_JIS text, in two linear passes.
class TMatchCORE : public TRegularExpression
{
public:
    // 1-based start of the first match in text (0: none) and its length in bytes. The search
    // stops at the first zero byte.
    int Match(const QByteArray &text, int &start, int &length);
};
