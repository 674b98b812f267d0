#include "bmRegExp.h"

ERegExpParser::ERegExpParser(const QString &message, int position)
    : std::runtime_error(message.toStdString())
    , Message(message)
    , ErrorPosition(position)
{
}

TAWKStr::TAWKStr() = default;
TAWKStr::~TAWKStr() = default;

void TAWKStr::SetRegExp(const QByteArray &)
{
}

QByteArray TAWKStr::RegExp() const
{
    return {};
}

int TAWKStr::Match(const QByteArray &, int &start, int &length)
{
    start = 0;
    length = 0;
    return 0;
}

int TAWKStr::CacheCount() const
{
    return 1;
}
