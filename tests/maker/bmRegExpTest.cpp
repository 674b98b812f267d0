#include "maker/bmRegExp.h"

#include "maker/TREParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

struct TFound {
    int Start;
    int Length;
};

TFound Find(TAWKStr &regex, const QByteArray &pattern, const QByteArray &text)
{
    regex.SetRegExp(pattern);
    TFound found{};
    const int result = regex.Match(text, found.Start, found.Length);
    EXPECT_EQ(result, found.Start);
    return found;
}

void ExpectFound(const QByteArray &pattern, const QByteArray &text, int start, int length)
{
    TAWKStr regex;
    const TFound found = Find(regex, pattern, text);
    EXPECT_EQ(found.Start, start) << pattern.constData() << " in " << text.constData();
    EXPECT_EQ(found.Length, length) << pattern.constData() << " in " << text.constData();
}

const QByteArray Width = "(width)[ ]*[=][ ]*[\"]*[0-9]+[\"]*";
const QByteArray Height = "(height)[ ]*[=][ ]*[\"]*[0-9]+[\"]*";
const QByteArray Digits = "[0-9]+";

} // namespace

// The page import's three patterns: the whole attribute, then all of its digits.
TEST(TAWKStr, FindsDeclaredImageSizes)
{
    TAWKStr regex;
    const QByteArray tag = "<img src=\"a1.gif\" width = \"120\" height=40>";
    const TFound width = Find(regex, Width, tag);
    EXPECT_EQ(width.Start, 19);
    EXPECT_EQ(width.Length, 13);
    const QByteArray piece = tag.mid(width.Start - 1, width.Length);
    EXPECT_EQ(piece, "width = \"120\"");
    const TFound digits = Find(regex, Digits, piece);
    EXPECT_EQ(piece.mid(digits.Start - 1, digits.Length), "120");
    const TFound height = Find(regex, Height, tag);
    EXPECT_EQ(tag.mid(height.Start - 1, height.Length), "height=40");

    EXPECT_EQ(Find(regex, Width, "<img width='120'>").Start, 0);
    const TFound none = Find(regex, Digits, "<img src=a.gif>");
    EXPECT_EQ(none.Start, 0);
    EXPECT_EQ(none.Length, 0);
}

// Patterns used in turn are compiled once; a full cache drops its last entry and the current
// pattern stays usable throughout.
TEST(TAWKStr, CacheKeepsPatternsAndEvictsAtThirty)
{
    TAWKStr regex;
    EXPECT_EQ(regex.CacheCount(), 1);
    for (int round = 0; round < 5; ++round)
        for (const QByteArray &pattern : {Width, Height, Digits})
            Find(regex, pattern, "width=1");
    EXPECT_EQ(regex.CacheCount(), 4);

    for (int i = 0; i < 40; ++i) {
        const QByteArray pattern = "x" + QByteArray::number(i);
        const TFound found = Find(regex, pattern, "-x" + QByteArray::number(i));
        EXPECT_EQ(found.Start, 2);
        EXPECT_EQ(regex.RegExp(), pattern);
        EXPECT_LE(regex.CacheCount(), TRegularExpression::MaxCacheEntries);
    }
    EXPECT_EQ(regex.CacheCount(), 30);
    EXPECT_EQ(Find(regex, Width, "width=7").Length, 7);
    EXPECT_THROW(regex.SetRegExp("("), ERegExpParser);
    EXPECT_EQ(regex.RegExp(), QByteArray()); // the empty entry is never the one dropped
}

// Each malformed pattern names its fault and where, and leaves the empty pattern current, which
// matches the empty string at position 1.
TEST(TAWKStr, MalformedPatternsReportPositionAndResetToEmpty)
{
    const struct {
        QByteArray Pattern;
        QString Message;
        int Position;
    } cases[] = {
        {"(width", "missing )", 1},
        {"ab)", "unmatched )", 3},
        {"a|*", "nothing to repeat", 3},
        {"x[0-9", "missing ]", 2},
        {"[9-0]", "range out of order", 2},
        {"ab\\", "backslash at end of pattern", 3},
        {"a[]", "missing ]", 2},
        {QByteArray(101, '(') + "a" + QByteArray(101, ')'), "groups nested too deeply", 101},
        {QByteArray(TREParser::MaxPatternLength + 1, 'a'), "pattern too long", TREParser::MaxPatternLength + 1},
    };
    for (const auto &c : cases) {
        TAWKStr regex;
        Find(regex, Digits, "1");
        try {
            regex.SetRegExp(c.Pattern);
            ADD_FAILURE() << "accepted " << c.Pattern.constData();
        } catch (const ERegExpParser &error) {
            EXPECT_EQ(error.Message, c.Message);
            EXPECT_EQ(error.ErrorPosition, c.Position) << c.Message.toStdString();
        }
        EXPECT_EQ(regex.RegExp(), QByteArray());
        int start = -1;
        int length = -1;
        EXPECT_EQ(regex.Match("123", start, length), 1);
        EXPECT_EQ(length, 0);
    }
    ExpectFound(QByteArray(100, '(') + "a" + QByteArray(100, ')'), "ba", 2, 1);
}

// A double-byte character is one symbol: "." and classes take it whole, and a match never begins
// on its trail byte even when that byte looks like the character sought.
TEST(TAWKStr, ShiftJisCharactersAreSingleSymbols)
{
    ExpectFound("a.b",
                "a\x83\x5b"
                "b",
                1, 4);
    ExpectFound("\\[", "\x83\x5b[", 3, 1);
    ExpectFound("@+", "\x82\x40\x82\x40@@", 5, 2);
    ExpectFound("[\x82\x9f-\x82\xf1]+", "abc\x82\xa0\x82\xa2\x83\x41", 4, 4);
    ExpectFound("[^a]", "a\x82\xa0", 2, 2);
    ExpectFound("\x82\xa0", "\x81\x82\xa0", 0, 0);     // the text is 0x81 0x82, then 0xA0
    ExpectFound(".", "\x82", 1, 1);                    // a lead byte with nothing after is a character
    ExpectFound("..", QByteArray("\x82\0b", 3), 0, 0); // nor does a zero byte become a trail byte
    ExpectFound("b", QByteArray("a\0b", 3), 0, 0);
}

// The match starts as far left as any match does and is the longest from there.
TEST(TAWKStr, MatchIsLeftmostLongest)
{
    ExpectFound("a|ab", "ab", 1, 2);
    ExpectFound("abcd|c", "xabcd", 2, 4);
    ExpectFound("(a|b)*c?", "zab", 1, 0);
    ExpectFound("x*", "", 1, 0);
    ExpectFound("", "abc", 1, 0);
    ExpectFound("\\.\\*", "a.*", 2, 2);
}

// Patterns that make naive engines take exponential or quadratic time or an exponential number of
// states still give the right answer over a megabyte.
TEST(TAWKStr, HostilePatternsOverLargeTexts)
{
    const QByteArray as(1 << 20, 'a');
    ExpectFound("(a*)*b", as, 0, 0);
    ExpectFound("(a|aa)*c", as, 0, 0);
    ExpectFound("a*b", as + "b", 1, as.size() + 1);

    std::mt19937 random(7);
    QByteArray text;
    for (int i = 0; i < (1 << 18); ++i)
        text += (random() & 1) ? 'a' : 'b';
    QByteArray pattern = "(a|b)*a";
    for (int i = 0; i < 20; ++i)
        pattern += "(a|b)";
    const int lastA = int(text.lastIndexOf('a', text.size() - 21));
    ExpectFound(pattern, text, 1, lastA + 21);
}

// "^" and "$" hold at the text's ends and at the line separator chosen, and only there.
TEST(TAWKStr, LineAnchorsFollowTheSeparator)
{
    TAWKStr regex;
    const auto find = [&](TLineSeparator separator, const QByteArray &pattern, const QByteArray &text) {
        regex.LineSeparator = separator;
        return Find(regex, pattern, text);
    };
    EXPECT_EQ(find(mcls_LF, "^a+", "baa\naab").Start, 5);
    EXPECT_EQ(find(mcls_CRLF, "^a+", "baa\naab").Start, 0);
    EXPECT_EQ(find(mcls_CRLF, "^a+", "baa\r\naab").Start, 6);
    EXPECT_EQ(find(mcls_CRLF, "b$", "ab\nb\r\nc").Start, 4);
    EXPECT_EQ(find(mcls_LF, "b$", "ab\nb\r\nc").Start, 2);
    EXPECT_EQ(find(mcls_LF, "c$", "abc").Length, 1);
    const TFound empty = find(mcls_LF, "^$", "a\n\nb");
    EXPECT_EQ(empty.Start, 3);
    EXPECT_EQ(empty.Length, 0);
    EXPECT_EQ(find(mcls_CRLF, "^[a-z]*$", "ab\r\ncd").Length, 2);
    EXPECT_EQ(find(mcls_CRLF, "^.*$", "ab\r\ncd").Length, 6); // "." takes line separators too
    EXPECT_EQ(find(mcls_LF, "a^b", "a\nb").Start, 0);
    EXPECT_EQ(find(mcls_LF, "\\^", "a^").Start, 2);
}

namespace {

// A tiny reference: the set of ends each pattern piece can reach, over one-byte characters, with
// lines ended by LF.
struct TRefNode {
    char Kind; // 'c' set, '^' '$', '.' concat, '|' alternative, '*' '+' '?'
    std::string Members;
    std::vector<TRefNode> Parts;

    std::set<size_t> Ends(const std::string &text, size_t from) const
    {
        std::set<size_t> ends;
        if (Kind == 'c') {
            if (from < text.size() && Members.find(text[from]) != std::string::npos)
                ends.insert(from + 1);
        } else if (Kind == '^') {
            if (from == 0 || text[from - 1] == '\n')
                ends.insert(from);
        } else if (Kind == '$') {
            if (from == text.size() || text[from] == '\n')
                ends.insert(from);
        } else if (Kind == '.') {
            ends = {from};
            for (const TRefNode &part : Parts) {
                std::set<size_t> next;
                for (size_t end : ends)
                    for (size_t e : part.Ends(text, end))
                        next.insert(e);
                ends = next;
            }
        } else if (Kind == '|') {
            for (const TRefNode &part : Parts)
                for (size_t e : part.Ends(text, from))
                    ends.insert(e);
        } else {
            std::set<size_t> frontier = part0(text, from);
            ends = frontier;
            while (Kind != '?' && !frontier.empty()) {
                std::set<size_t> next;
                for (size_t end : frontier)
                    for (size_t e : part0(text, end))
                        if (ends.insert(e).second)
                            next.insert(e);
                frontier = next;
            }
            if (Kind != '+')
                ends.insert(from);
        }
        return ends;
    }
    std::set<size_t> part0(const std::string &text, size_t from) const { return Parts[0].Ends(text, from); }
};

const std::string Alphabet = "\nab019\"";

TRefNode RandomNode(std::mt19937 &random, int depth, std::string &pattern)
{
    const int pick = int(random() % (depth > 3 ? 4 : 9));
    if (pick < 2) {
        const char c = Alphabet[random() % Alphabet.size()];
        pattern += c;
        return {'c', std::string(1, c), {}};
    }
    if (pick == 2) {
        const char low = Alphabet[random() % Alphabet.size()];
        const char high = std::max(low, Alphabet[random() % Alphabet.size()]);
        std::string members;
        for (char c : Alphabet)
            if (c >= low && c <= high)
                members += c;
        pattern += std::string("[") + low + "-" + high + "]";
        return {'c', members, {}};
    }
    if (pick == 3) {
        const char anchor = (random() & 1) ? '^' : '$';
        pattern += anchor;
        return {anchor, {}, {}};
    }
    if (pick <= 5) {
        TRefNode node{pick == 4 ? '.' : '|', {}, {}};
        pattern += '(';
        for (int i = 0; i < 2; ++i) {
            if (i == 1 && node.Kind == '|')
                pattern += '|';
            node.Parts.push_back(RandomNode(random, depth + 1, pattern));
        }
        pattern += ')';
        return node;
    }
    const char mark = "*+?"[pick - 6];
    pattern += '(';
    TRefNode node{mark, {}, {RandomNode(random, depth + 1, pattern)}};
    pattern += std::string(")") + mark;
    return node;
}

} // namespace

// Random small patterns and texts against the reference.
TEST(TAWKStr, AgreesWithReferenceOnRandomPatterns)
{
    std::mt19937 random(2024);
    TAWKStr regex;
    regex.LineSeparator = mcls_LF;
    for (int round = 0; round < 20000; ++round) {
        std::string pattern;
        const TRefNode tree = RandomNode(random, 0, pattern);
        std::string text;
        for (int i = int(random() % 12); i > 0; --i)
            text += Alphabet[random() % Alphabet.size()];

        int start = 0;
        int length = 0;
        for (size_t from = 0; from <= text.size(); ++from) {
            const std::set<size_t> ends = tree.Ends(text, from);
            if (!ends.empty()) {
                start = int(from) + 1;
                length = int(*ends.rbegin() - from);
                break;
            }
        }
        const TFound found = Find(regex, QByteArray::fromStdString(pattern), QByteArray::fromStdString(text));
        ASSERT_EQ(found.Start, start) << pattern << " in " << text;
        ASSERT_EQ(found.Length, length) << pattern << " in " << text;
    }
}
