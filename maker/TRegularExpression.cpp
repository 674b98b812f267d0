#include "maker/TRegularExpression.h"

#include "maker/TREParser.h"
#include "maker/TRE_DFA.h"

namespace {

// Gathers the intervals the symbol classes are cut from, and whether the pattern has anchors.
bool CollectIntervals(const TREParseTree &node, std::vector<TRESymbols::TInterval> &intervals)
{
    intervals.insert(intervals.end(), node.Intervals.begin(), node.Intervals.end());
    bool anchors = node.Kind == ndLineStart || node.Kind == ndLineEnd;
    for (const auto &child : node.Children)
        anchors = CollectIntervals(*child, intervals) || anchors;
    return anchors;
}

std::unique_ptr<TRECompiled> Compile(const QByteArray &pattern)
{
    const auto tree = TREParser::Parse(pattern);
    std::vector<TRESymbols::TInterval> intervals;
    const bool anchors = CollectIntervals(*tree, intervals);
    auto compiled = std::make_unique<TRECompiled>();
    compiled->Text = pattern;
    compiled->UsesLineMarks = anchors;
    compiled->Classes = std::make_unique<TRESymbols::TSymbolClasses>(intervals);
    compiled->Forward = std::make_unique<TRE_DFA>(std::make_unique<TRE_NFA>(*tree, *compiled->Classes, false), false);
    compiled->Backward = std::make_unique<TRE_DFA>(std::make_unique<TRE_NFA>(*tree, *compiled->Classes, true), true);
    return compiled;
}

} // namespace

TRECompiled::~TRECompiled() = default;

TRegularExpression::TRegularExpression()
{
    Cache.push_back(Compile({}));
}

TRegularExpression::~TRegularExpression() = default;

void TRegularExpression::SetRegExp(const QByteArray &pattern)
{
    for (size_t entry = 0; entry < Cache.size(); ++entry) {
        if (Cache[entry]->Text == pattern) {
            CurrentEntry = entry;
            return;
        }
    }
    CurrentEntry = 0;
    // Compiled before anything is dropped, so a malformed pattern costs no cached entry.
    auto compiled = Compile(pattern);
    if (Cache.size() >= size_t(MaxCacheEntries))
        Cache.pop_back();
    Cache.insert(Cache.begin() + 1, std::move(compiled));
    CurrentEntry = 1;
}

QByteArray TRegularExpression::RegExp() const
{
    return Cache[CurrentEntry]->Text;
}

int TRegularExpression::CacheCount() const
{
    return int(Cache.size());
}
