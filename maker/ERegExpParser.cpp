#include "maker/ERegExpParser.h"

ERegExpParser::ERegExpParser(const QString &message, int position)
    : std::runtime_error(message.toStdString()), Message(message), ErrorPosition(position)
{
}
