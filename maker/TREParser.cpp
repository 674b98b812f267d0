#include "maker/TREParser.h"

#include "maker/ERegExpParser.h"

namespace {

std::unique_ptr<TREParseTree> MakeNode(TRENodeKind kind)
{
    auto node = std::make_unique<TREParseTree>();
    node->Kind = kind;
    return node;
}

TRENodeKind RepeatKind(TRETokenKind token)
{
    switch (token) {
    case tkStar:
        return ndStar;
    case tkPlus:
        return ndPlus;
    default:
        return ndOptional;
    }
}

bool IsRepeat(TRENodeKind kind)
{
    return kind == ndStar || kind == ndPlus || kind == ndOptional;
}

} // namespace

TREParser::TREParser(const QByteArray &pattern) : Scanner(pattern) {}

std::unique_ptr<TREParseTree> TREParser::Parse(const QByteArray &pattern)
{
    if (pattern.size() > MaxPatternLength)
        throw ERegExpParser(QStringLiteral("pattern too long"), MaxPatternLength + 1);
    TREParser parser(pattern);
    parser.Advance();
    auto root = parser.Alternatives(0);
    if (parser.Token.Kind == tkRParen)
        throw ERegExpParser(QStringLiteral("unmatched )"), parser.Token.Position);
    return root;
}

std::unique_ptr<TREParseTree> TREParser::Alternatives(int depth)
{
    auto first = Sequence(depth);
    if (Token.Kind != tkBar)
        return first;
    auto node = MakeNode(ndAlt);
    node->Children.push_back(std::move(first));
    while (Token.Kind == tkBar) {
        Advance();
        node->Children.push_back(Sequence(depth));
    }
    return node;
}

std::unique_ptr<TREParseTree> TREParser::Sequence(int depth)
{
    auto node = MakeNode(ndConcat);
    while (Token.Kind != tkEnd && Token.Kind != tkBar && Token.Kind != tkRParen)
        node->Children.push_back(Repeated(depth));
    if (node->Children.empty())
        return MakeNode(ndEmpty);
    if (node->Children.size() == 1)
        return std::move(node->Children.front());
    return node;
}

std::unique_ptr<TREParseTree> TREParser::Repeated(int depth)
{
    std::unique_ptr<TREParseTree> atom;
    switch (Token.Kind) {
    case tkSet:
        atom = MakeNode(ndSet);
        atom->Intervals = std::move(Token.Intervals);
        Advance();
        break;
    case tkLineStart:
    case tkLineEnd:
        atom = MakeNode(Token.Kind == tkLineStart ? ndLineStart : ndLineEnd);
        Advance();
        break;
    case tkLParen: {
        const int open = Token.Position;
        if (depth >= MaxGroupDepth)
            throw ERegExpParser(QStringLiteral("groups nested too deeply"), open);
        Advance();
        atom = Alternatives(depth + 1);
        if (Token.Kind != tkRParen)
            throw ERegExpParser(QStringLiteral("missing )"), open);
        Advance();
        break;
    }
    default:
        throw ERegExpParser(QStringLiteral("nothing to repeat"), Token.Position);
    }
    while (Token.Kind == tkStar || Token.Kind == tkPlus || Token.Kind == tkQuestion) {
        const TRENodeKind kind = RepeatKind(Token.Kind);
        Advance();
        // A repeat of a repeat folds into one node, so "a****" does not deepen the tree.
        if (IsRepeat(atom->Kind)) {
            if (atom->Kind != kind)
                atom->Kind = ndStar;
            continue;
        }
        auto repeat = MakeNode(kind);
        repeat->Children.push_back(std::move(atom));
        atom = std::move(repeat);
    }
    return atom;
}
