#include "HtmlParser.h"

TSimpleHTMLParser::TSimpleHTMLParser(const QByteArray &source)
    : FSource(source)
{
    Next();
}

void TSimpleHTMLParser::Next()
{
    FKind = kindEnd;
}

bool TSimpleHTMLParser::IsTag(const QByteArray &) const
{
    return false;
}
