#include "viewer/TComponentStream.h"

#include <string>

namespace {
constexpr char Signature[] = "TPF0";
// Lists inside lists: deeper than any record this program reads, shallow enough for the stack.
constexpr int MaxListDepth = 16;
} // namespace

void TComponentWriter::BeginRecord(const QByteArray &ClassName, const QByteArray &Name)
{
    FOut.append(Signature, 4);
    ShortString(ClassName);
    ShortString(Name);
}

void TComponentWriter::EndRecord()
{
    Byte(vaNull);
    Byte(vaNull);
}

void TComponentWriter::Integer(int32_t Value)
{
    if (Value >= INT8_MIN && Value <= INT8_MAX) {
        Byte(vaInt8);
        LE(uint32_t(Value), 1);
    } else if (Value >= INT16_MIN && Value <= INT16_MAX) {
        Byte(vaInt16);
        LE(uint32_t(Value), 2);
    } else {
        Byte(vaInt32);
        LE(uint32_t(Value), 4);
    }
}

void TComponentWriter::String(const QByteArray &Bytes)
{
    if (Bytes.size() < 256) {
        Byte(vaString);
        ShortString(Bytes);
    } else {
        Byte(vaLString);
        LE(uint32_t(Bytes.size()), 4);
        FOut.append(Bytes);
    }
}

void TComponentWriter::Binary(const QByteArray &Bytes)
{
    Byte(vaBinary);
    LE(uint32_t(Bytes.size()), 4);
    FOut.append(Bytes);
}

void TComponentWriter::LE(uint32_t Value, int Bytes)
{
    for (int i = 0; i < Bytes; ++i)
        FOut.append(char(Value >> (8 * i)));
}

void TComponentWriter::ShortString(const QByteArray &Bytes)
{
    Q_ASSERT(Bytes.size() < 256);
    Byte(uint8_t(Bytes.size()));
    FOut.append(Bytes);
}

void TComponentReader::BeginRecord(QByteArray &ClassName, QByteArray &Name)
{
    if (Take(4) != QByteArray(Signature, 4))
        throw EComponentStream("no component record here (signature TPF0 missing)");
    ClassName = ShortString();
    Name = ShortString();
}

bool TComponentReader::NextProperty(QByteArray &Name)
{
    Name = ShortString();
    if (!Name.isEmpty())
        return true;
    if (Byte() != 0)
        throw EComponentStream("the record holds child components");
    return false;
}

TValueType TComponentReader::ReadValueType()
{
    return TValueType(Byte());
}

int32_t TComponentReader::Integer(TValueType Type)
{
    switch (Type) {
    case vaInt8:
        return int8_t(LE(1));
    case vaInt16:
        return int16_t(LE(2));
    case vaInt32:
        return int32_t(LE(4));
    default:
        WrongType(Type, "an integer");
    }
}

bool TComponentReader::Boolean(TValueType Type)
{
    if (Type != vaFalse && Type != vaTrue)
        WrongType(Type, "true or false");
    return Type == vaTrue;
}

QByteArray TComponentReader::String(TValueType Type)
{
    switch (Type) {
    case vaString:
        return ShortString();
    case vaLString:
        return Take(LE(4));
    default:
        WrongType(Type, "a string");
    }
}

QByteArray TComponentReader::Binary(TValueType Type)
{
    if (Type != vaBinary)
        WrongType(Type, "binary data");
    return Take(LE(4));
}

void TComponentReader::SkipValue(TValueType Type, int Depth)
{
    switch (Type) {
    case vaList:
        if (Depth >= MaxListDepth)
            throw EComponentStream("lists nested too deep");
        for (TValueType item = ReadValueType(); item != vaNull; item = ReadValueType())
            SkipValue(item, Depth + 1);
        return;
    case vaInt8:
    case vaInt16:
    case vaInt32:
        Integer(Type);
        return;
    case vaFalse:
    case vaTrue:
        return;
    case vaString:
    case vaLString:
        String(Type);
        return;
    case vaBinary:
        Binary(Type);
        return;
    default:
        WrongType(Type, "a known value");
    }
}

uint8_t TComponentReader::Byte()
{
    return uint8_t(Take(1).at(0));
}

uint32_t TComponentReader::LE(int Bytes)
{
    const QByteArray bytes = Take(uint64_t(Bytes));
    uint32_t value = 0;
    for (int i = 0; i < Bytes; ++i)
        value |= uint32_t(uint8_t(bytes[i])) << (8 * i);
    return value;
}

QByteArray TComponentReader::Take(uint64_t Count)
{
    if (Count > uint64_t(FIn.size() - FAt))
        throw EComponentStream("the data ends early (a length runs past the end)");
    const QByteArray part = FIn.mid(FAt, qsizetype(Count));
    FAt += qsizetype(Count);
    return part;
}

QByteArray TComponentReader::ShortString()
{
    return Take(Byte());
}

void TComponentReader::WrongType(TValueType Type, const char *Wanted)
{
    throw EComponentStream("value of type " + std::to_string(int(Type)) + " where " + Wanted + " belongs");
}
