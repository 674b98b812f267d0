#pragma once

#include <QByteArray>
#include <QtGlobal>

// Cuts a piece of Shift_JIS HTML into a flat run of text and tag tokens; no nesting, entities or
// attributes. The first token is read on construction.
class TSimpleHTMLParser
{
public:
    enum TKind : quint8 { kindEnd = 0, kindText = 1, kindTag = 3 };

    explicit TSimpleHTMLParser(const QByteArray &source);

    // The token after the current one; after the end it stays at the end.
    void Next();
    quint8 Kind() const { return FKind; }
    const QByteArray &TokenText() const { return FTokenText; }
    // A tag whose text equals name ignoring ASCII case, or begins with name exactly.
    bool IsTag(const QByteArray &name) const;

private:
    QByteArray FSource;
    int FPosition = 0;
    int FTokenStart = 0;
    QByteArray FTokenText;
    quint8 FKind = kindEnd;
};
