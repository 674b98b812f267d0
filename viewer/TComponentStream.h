#pragma once

#include <QByteArray>

#include <cstdint>
#include <stdexcept>

// The binary component-stream form the catalogue file is made of: records of a class name, a
// component name and typed property values, all integers little-endian.

// The bytes do not make a component record: truncated, a length past the end, an unknown type.
class EComponentStream : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum TValueType : uint8_t {
    vaNull = 0,
    vaList = 1,
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaString = 6,
    vaFalse = 8,
    vaTrue = 9,
    vaBinary = 10,
    vaLString = 12,
};

// Appends records to a byte array. Names are short strings: their bytes must stay below 256.
class TComponentWriter
{
public:
    explicit TComponentWriter(QByteArray &Out) : FOut(Out) {}

    // "TPF0", the class name and the component name; the properties follow.
    void BeginRecord(const QByteArray &ClassName, const QByteArray &Name);
    // Ends the properties and the (empty) list of child components.
    void EndRecord();

    void PropertyName(const QByteArray &Name) { ShortString(Name); }
    // In the smallest of the three integer types that holds Value.
    void Integer(int32_t Value);
    void Boolean(bool Value) { Byte(Value ? vaTrue : vaFalse); }
    // Type 6 below 256 bytes, type 12 from there on.
    void String(const QByteArray &Bytes);
    void Binary(const QByteArray &Bytes);
    void BeginList() { Byte(vaList); }
    void EndList() { Byte(vaNull); }

private:
    void Byte(uint8_t Value) { FOut.append(char(Value)); }
    void LE(uint32_t Value, int Bytes);
    void ShortString(const QByteArray &Bytes);

    QByteArray &FOut;
};

// Reads records from bytes that may be anything: every length is checked before it is used, and
// any fault raises EComponentStream.
class TComponentReader
{
public:
    explicit TComponentReader(const QByteArray &In) : FIn(In) {}

    // Checks "TPF0" and reads the class name and the component name.
    void BeginRecord(QByteArray &ClassName, QByteArray &Name);
    // The next property's name, or false at the end of the properties (the end of the record is
    // then read too: a record with child components is refused).
    bool NextProperty(QByteArray &Name);

    TValueType ReadValueType();
    // A value of any integer type; its type byte has been read.
    int32_t Integer(TValueType Type);
    bool Boolean(TValueType Type);
    // Type 6 or 12; its type byte has been read.
    QByteArray String(TValueType Type);
    QByteArray Binary(TValueType Type);
    // Passes over a value of a property this reader has no use for.
    void SkipValue(TValueType Type, int Depth = 0);

private:
    uint8_t Byte();
    uint32_t LE(int Bytes);
    QByteArray Take(uint64_t Count);
    QByteArray ShortString();
    [[noreturn]] static void WrongType(TValueType Type, const char *Wanted);

    const QByteArray &FIn;
    qsizetype FAt = 0;
};
