#pragma once

#include <QByteArray>

#include <iconv.h>

// Japanese pages for the code converter's tests and bench, and glibc's converter to check against.
namespace JapaneseText {

// glibc's converter from one code to another, opened once for any number of texts.
class TIconv
{
public:
    TIconv(const char *from, const char *to) : FCd(iconv_open(to, from)) {}
    ~TIconv()
    {
        if (FCd != iconv_t(-1))
            iconv_close(FCd);
    }
    TIconv(const TIconv &) = delete;
    TIconv &operator=(const TIconv &) = delete;

    // The bytes in the code named to, or empty when iconv cannot convert all of them.
    QByteArray operator()(const QByteArray &in) const
    {
        if (FCd == iconv_t(-1))
            return {};
        // Each text starts in the initial shift state, whatever the last one ended in.
        iconv(FCd, nullptr, nullptr, nullptr, nullptr);
        QByteArray out(4 * in.size() + 16, Qt::Uninitialized);
        char *inPos = const_cast<char *>(in.constData());
        size_t inLeft = size_t(in.size());
        char *outPos = out.data();
        size_t outLeft = size_t(out.size());
        const bool ok = iconv(FCd, &inPos, &inLeft, &outPos, &outLeft) != size_t(-1)
                        && iconv(FCd, nullptr, nullptr, &outPos, &outLeft) != size_t(-1);
        out.truncate(outPos - out.data());
        return ok ? out : QByteArray();
    }

private:
    iconv_t FCd;
};

inline QByteArray Iconv(const char *from, const char *to, const QByteArray &in)
{
    return TIconv(from, to)(in);
}

// An HTML page in EUC-JP: punctuation, all hiragana and katakana and every level-1 kanji, one JIS
// row a line between ASCII markup; characters that the three codes all encode alike.
inline QByteArray EucPage()
{
    QByteArray page = "<html><body>\n<p>\xA1\xA2\xA1\xA3\xA1\xD6\xA1\xD7</p>\n";
    auto row = [&page](int j1, int lastCell) {
        page += "<p class=\"r" + QByteArray::number(j1, 16) + "\">";
        for (int j2 = 0x21; j2 <= lastCell; ++j2) {
            page += char(j1 | 0x80);
            page += char(j2 | 0x80);
        }
        page += "</p>\n";
    };
    row(0x24, 0x73);
    row(0x25, 0x76);
    for (int j1 = 0x30; j1 < 0x4F; ++j1)
        row(j1, 0x7E);
    row(0x4F, 0x53);
    return page + "</body></html>\n";
}

} // namespace JapaneseText
