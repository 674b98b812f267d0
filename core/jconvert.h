#pragma once

#include <QByteArray>
#include <QString>

// Japanese code detection and conversion among JIS (ISO-2022-JP), Shift_JIS and EUC-JP, and Base64.
// Bytes past the end of a text count as absent: nothing here reads beyond the buffer.
namespace jconvert {

enum TJCode : int {
    jcAscii = 0,  // nothing but 7-bit text
    jcBinary = 1, // a control byte below 8 or 0xFF: not text
    jcJis = 2,    // ESC $ B
    jcJis78 = 3,  // ESC $ @
    jcEuc = 4,
    jcSjis = 5,
    jcEucOrSjis = 6, // EUC-JP or Shift_JIS, not decided
};

int DetectCode(const QByteArray &text);
// The text in the target code (jcSjis, jcJis or jcEuc); unchanged when it cannot or need not be.
QByteArray ConvertCode(const QByteArray &text, int target);
// The same for a text whose code is known, as the program's own Shift_JIS texts are.
QByteArray ConvertCodeFrom(const QByteArray &text, int source, int target);
QByteArray EncodeBase64(const QByteArray &bytes);
// Shift_JIS bytes (the program's own character set) for display; a byte it cannot map shows as U+FFFD.
QString SjisToUnicode(const QByteArray &bytes);

} // namespace jconvert
