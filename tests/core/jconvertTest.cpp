#include "core/jconvert.h"

#include "tests/support/JapaneseText.h"

#include <QString>

#include <gtest/gtest.h>

using namespace jconvert;
using JapaneseText::Iconv;

namespace {

const QByteArray ToJis = "\x1B$B";
const QByteArray ToRoman = "\x1B(J";

QByteArray Hex(const QByteArray &bytes)
{
    return bytes.toHex(' ');
}

} // namespace

// The non-text window, the first decisive byte, the EUC/Shift_JIS look-ahead and the last byte.
TEST(jconvertTest, DetectCodeDecidesOnTheFirstDecisiveByte)
{
    EXPECT_EQ(DetectCode("plain <a href=x>text</a>\r\n"), jcAscii);
    EXPECT_EQ(DetectCode(QByteArray("ab\x05"
                                    "cd\x88\x9F",
                                    7)),
              jcBinary);
    EXPECT_EQ(DetectCode(QByteArray(599, 'a') + '\x05' + "\x88\x9F"), jcBinary);
    EXPECT_EQ(DetectCode("\x88\x9F" + QByteArray(597, 'a') + '\x05' + "tail"), jcSjis);
    EXPECT_EQ(DetectCode("a\x1B$B0!\x1B(B"), jcJis);
    EXPECT_EQ(DetectCode("a\x1B$@0!\x1B(B"), jcJis78);
    EXPECT_EQ(DetectCode("\xB0\xA1\xB0\xF0"), jcEuc);
    EXPECT_EQ(DetectCode("\xB0\xA1\xA4\xA2"), jcEucOrSjis);
    EXPECT_EQ(DetectCode("\xB0\xE0\xE0\x81"), jcSjis);
    EXPECT_EQ(DetectCode("\xB0\xE0\xE0\xFD"), jcEuc);
    // A byte below 0x40 ends the look-ahead and the scan goes on after it.
    EXPECT_EQ(DetectCode("\xB0\xE0\xE0 \xF0x"), jcEuc);
    EXPECT_EQ(DetectCode("\x8E\xB1\xB1\xB1"), jcEucOrSjis);
    EXPECT_EQ(DetectCode("abc\xF0"), jcAscii);
    EXPECT_EQ(DetectCode("abc\xFF"), jcAscii);
    EXPECT_EQ(DetectCode(""), jcAscii);
}

// Texts that are not converted come back as they were.
TEST(jconvertTest, UndecidedBinaryAndSameCodeAreUnchanged)
{
    const QByteArray undecided = "\xB0\xA1\xA4\xA2";
    const QByteArray binary("\x01\xB0\xA1\xB0\xF0", 5);
    const QByteArray sjis = "a\x83\x41\x88\x9F";
    for (const int target : {jcSjis, jcJis, jcEuc}) {
        EXPECT_EQ(ConvertCode(undecided, target), undecided);
        EXPECT_EQ(ConvertCode(binary, target), binary);
    }
    EXPECT_EQ(ConvertCode(sjis, jcSjis), sjis);
    EXPECT_EQ(ConvertCode(sjis, 7), sjis);
    EXPECT_EQ(ConvertCode("\x1B$@0!", jcJis), "\x1B$@0!");
}

// The arithmetic correspondence both ways, the Roman escape before a line break, no escape at the end,
// and JIS escapes written back to back.
TEST(jconvertTest, PairArithmeticAndEscapes)
{
    EXPECT_EQ(Hex(ConvertCode(ToJis + "%\"0!\x1B(B\r\nx", jcSjis)), Hex("\x83\x41\x88\x9F\r\nx"));
    EXPECT_EQ(Hex(ConvertCode("\x83\x41\x88\x9F\r\nx\x88\x9F", jcJis)),
              Hex(ToJis + "%\"0!" + ToRoman + "\r\nx" + ToJis + "0!"));
    EXPECT_EQ(Hex(ConvertCode("\x1B(B\x1B$B0!\x1B$B%\"", jcSjis)), Hex("\x88\x9F\x83\x41"));
    EXPECT_EQ(Hex(ConvertCode("a\x1B$B0!\x1B(Bz", jcEuc)), Hex("a\xB0\xA1z"));
}

// A pair or an escape cut by the end of the text ends the work without reading past it.
TEST(jconvertTest, SequencesCutByTheEndStopTheWork)
{
    EXPECT_EQ(Hex(ConvertCode("x\x1B$B0!0", jcSjis)), Hex("x\x88\x9F"));
    EXPECT_EQ(Hex(ConvertCode("x\x1B$B0!\x1B(", jcSjis)), Hex("x\x88\x9F"));
    EXPECT_EQ(Hex(ConvertCode("\x88\x9F\x88", jcJis)), Hex(ToJis + "0!"));
    EXPECT_EQ(Hex(ConvertCode("\x88\x9F\x88", jcEuc)), Hex("\xB0\xA1"));
    EXPECT_EQ(Hex(ConvertCode("\xB0\xF0\xB0", jcSjis)), Hex("\x88\xEE"));
    EXPECT_EQ(Hex(ConvertCode("\xB0\xF0\x8E", jcJis)), Hex(ToJis + "0p"));
}

// Whole pages in every direction, against glibc's converter.
TEST(jconvertTest, PagesMatchIconvBothWays)
{
    const QByteArray euc = JapaneseText::EucPage();
    const QByteArray sjis = Iconv("EUC-JP", "SHIFT_JIS", euc);
    const QByteArray jis = Iconv("EUC-JP", "ISO-2022-JP", euc);
    ASSERT_FALSE(sjis.isEmpty());
    ASSERT_FALSE(jis.isEmpty());
    ASSERT_EQ(DetectCode(euc), jcEuc);

    EXPECT_EQ(ConvertCode(euc, jcSjis), sjis);
    EXPECT_EQ(ConvertCode(jis, jcSjis), sjis);
    EXPECT_EQ(ConvertCode(sjis, jcEuc), euc);
    EXPECT_EQ(ConvertCode(jis, jcEuc), euc);
    const QByteArray fromSjis = ConvertCode(sjis, jcJis);
    const QByteArray fromEuc = ConvertCode(euc, jcJis);
    EXPECT_EQ(fromSjis, fromEuc);
    EXPECT_EQ(Iconv("ISO-2022-JP", "EUC-JP", fromSjis), euc);
    EXPECT_EQ(ConvertCode(fromSjis, jcSjis), sjis);
}

// Every character of JIS X 0208 (the symbol rows and both kanji levels, 6879 in rows 0x21..0x74), one
// at a time in every direction against glibc's converter; a failure names the first that differs.
TEST(jconvertTest, EveryCharacterMatchesIconvInEveryDirection)
{
    struct TForms {
        int Row, Cell;
        QByteArray Code[3];
    };
    const int codes[3] = {jcEuc, jcSjis, jcJis};
    const char *const names[3] = {"EUC-JP", "SHIFT_JIS", "ISO-2022-JP"};
    const JapaneseText::TIconv toSjis(names[0], names[1]), toJis(names[0], names[2]);
    QList<TForms> characters;
    for (int j1 = 0x21; j1 <= 0x74; ++j1)
        for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
            TForms forms{j1, j2, {}};
            forms.Code[0].append(char(j1 | 0x80)).append(char(j2 | 0x80));
            forms.Code[1] = toSjis(forms.Code[0]);
            forms.Code[2] = toJis(forms.Code[0]);
            if (!forms.Code[1].isEmpty() && forms.Code[2].endsWith("\x1B(B"))
                characters.append(forms);
        }
    ASSERT_EQ(characters.size(), 6879);

    for (int from = 0; from < 3; ++from)
        for (int to = 0; to < 3; ++to) {
            if (from == to)
                continue;
            for (const TForms &c : characters) {
                QByteArray expected = c.Code[to];
                // glibc goes back to ASCII at the end; the converter leaves a text that ends in kanji as it is.
                if (codes[to] == jcJis)
                    expected.chop(3);
                if (ConvertCodeFrom(c.Code[from], codes[from], codes[to]) != expected) {
                    ADD_FAILURE() << names[from] << " to " << names[to] << ": first difference at JIS " << std::hex
                                  << c.Row << c.Cell << " (" << Hex(c.Code[from]).toStdString()
                                  << "): " << Hex(ConvertCodeFrom(c.Code[from], codes[from], codes[to])).toStdString()
                                  << ", iconv " << Hex(expected).toStdString();
                    break;
                }
            }
        }
}

// Every half-width katakana becomes the full-width form that Unicode's compatibility mapping gives,
// voiced and semi-voiced marks merged where such a kana exists, in Shift_JIS and EUC-JP alike.
TEST(jconvertTest, HalfWidthKatakanaBecomeFullWidth)
{
    const QByteArray lead = "\x81\x40";
    for (int k = 0xA1; k <= 0xDF; ++k) {
        // The marks alone map to combining marks, which have no JIS form; their spacing forms do.
        const QString wide = k >= 0xDE ? QString(QChar(k == 0xDE ? 0x309B : 0x309C))
                                       : QString(QChar(0xFF61 + k - 0xA1)).normalized(QString::NormalizationForm_KC);
        QByteArray pair = Iconv("UTF-8", "EUC-JP", wide.toUtf8());
        ASSERT_EQ(pair.size(), 2) << k;
        pair[0] = char(pair[0] & 0x7F);
        pair[1] = char(pair[1] & 0x7F);
        EXPECT_EQ(Hex(ConvertCode(lead + char(k), jcJis)), Hex(ToJis + "!!" + pair)) << k;
    }
    // ｶﾞ ﾊﾟ ｳﾞ ﾎﾞ, then ｱﾞ and ｶﾟ that have no merged form.
    const QByteArray merged = ToJis
                              + "!!%,%Q%t%\\"
                                "%\"!+%+!,";
    EXPECT_EQ(Hex(ConvertCode(lead + "\xB6\xDE\xCA\xDF\xB3\xDE\xCE\xDE\xB1\xDE\xB6\xDF", jcJis)), Hex(merged));
    EXPECT_EQ(Hex(ConvertCode("\xA1\xA1\x8E\xB6\x8E\xDE\x8E\xCA\x8E\xDF\x8E\xB3\x8E\xDE\x8E\xCE\x8E\xDE"
                              "\x8E\xB1\x8E\xDE\x8E\xB6\x8E\xDF\xB0\xF0",
                              jcJis)),
              Hex(merged + "0p"));
    // To Shift_JIS and back, the katakana stay half-width.
    EXPECT_EQ(Hex(ConvertCode("\xB0\xF0\x8E\xB1\x8E\xDE", jcSjis)), Hex("\x88\xEE\xB1\xDE"));
    EXPECT_EQ(Hex(ConvertCode("\x88\xEE\xB1\xDE", jcEuc)), Hex("\xB0\xF0\x8E\xB1\x8E\xDE"));
}

// Four characters for every three bytes, "=" padding for the last one or two, the whole alphabet.
TEST(jconvertTest, Base64LengthsAndPadding)
{
    EXPECT_EQ(EncodeBase64(""), "");
    EXPECT_EQ(EncodeBase64("f"), "Zg==");
    EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
    EXPECT_EQ(EncodeBase64("foo"), "Zm9v");
    EXPECT_EQ(EncodeBase64("foobar\xFB\xFF"), "Zm9vYmFy+/8=");
    const QByteArray longer(200, '\x88');
    const QByteArray encoded = EncodeBase64(longer);
    EXPECT_EQ(encoded.size(), 4 * (200 / 3) + 4);
    EXPECT_FALSE(encoded.contains('\n'));
    EXPECT_EQ(QByteArray::fromBase64(encoded), longer);
}
