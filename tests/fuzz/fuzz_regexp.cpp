#include "maker/TRESymbols.h"
#include "maker/bmRegExp.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>

// First line: the pattern; the rest: the text searched.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype newline = input.indexOf('\n');
    const QByteArray pattern = newline < 0 ? input : input.left(newline);
    const QByteArray text = newline < 0 ? QByteArray() : input.mid(newline + 1);

    TAWKStr regex;
    // Both line separators get their share of inputs.
    regex.LineSeparator = size % 2 ? mcls_LF : mcls_CRLF;
    try {
        regex.SetRegExp(pattern);
    } catch (const ERegExpParser &error) {
        FuzzSupport::Check(error.ErrorPosition >= 1 && error.ErrorPosition <= pattern.size() + 1,
                           "error position inside the pattern");
        FuzzSupport::Check(regex.RegExp().isEmpty(), "empty pattern current after an error");
    }
    int start = -1;
    int length = -1;
    const int result = regex.Match(text, start, length);
    FuzzSupport::Check(result == start, "result is the start");
    const qsizetype zero = text.indexOf('\0');
    const qsizetype searched = zero < 0 ? text.size() : zero;
    if (start == 0) {
        FuzzSupport::Check(length == 0, "no match has no length");
        return 0;
    }
    FuzzSupport::Check(start >= 1 && length >= 0 && start - 1 + length <= searched, "match inside the text");
    // The match must begin on a character boundary of the Shift_JIS text.
    qsizetype offset = 0;
    while (offset < start - 1)
        offset += (TRESymbols::IsLeadByte(uchar(text[offset])) && offset + 1 < searched) ? 2 : 1;
    FuzzSupport::Check(offset == start - 1, "match starts on a character boundary");
    return 0;
}
