#pragma once

#include <QString>

#include <stdexcept>

// A malformed pattern: what is wrong and where (1-based byte position in the pattern).
class ERegExpParser : public std::runtime_error
{
public:
    ERegExpParser(const QString &message, int position);
    QString Message;
    int ErrorPosition = 0;
};
