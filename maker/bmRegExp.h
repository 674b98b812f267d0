#pragma once

#include <QByteArray>
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

enum TLineSeparator { mcls_CRLF, mcls_LF };

// Regular expressions over Shift_JIS text, compiled to a deterministic automaton and matched
// leftmost-longest, a double-byte character counting as one symbol.
class TAWKStr
{
public:
    TAWKStr();
    ~TAWKStr();
    TAWKStr(const TAWKStr &) = delete;
    TAWKStr &operator=(const TAWKStr &) = delete;

    // Makes pattern current, compiling it unless it is cached; ERegExpParser for a malformed
    // pattern, which leaves the empty pattern current.
    void SetRegExp(const QByteArray &pattern);
    QByteArray RegExp() const;
    // 1-based start of the first match in text (0: none) and its length in bytes.
    int Match(const QByteArray &text, int &start, int &length);
    // Compiled patterns held, the empty one included.
    int CacheCount() const;

    TLineSeparator LineSeparator = mcls_CRLF;
    bool UseFuzzyCharDic = false;
    bool UseSynonymDic = false;
};
