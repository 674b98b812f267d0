// The HTML splitter on any bytes: the loop ends, and every token is a piece of the source, in order,
// shaped as its kind says. Each tag's attributes, and the address a srcset value picks, lie inside it.
#include "maker/HtmlImageSources.h"
#include "maker/HtmlParser.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>

using FuzzSupport::Check;

namespace {

bool Inside(QByteArrayView part, QByteArrayView whole)
{
    return part.isEmpty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

void CheckAttributes(const QByteArray &tag)
{
    for (const HtmlImageSources::TAttribute &attribute : HtmlImageSources::TagAttributes(tag)) {
        Check(!attribute.name.isEmpty() && Inside(attribute.name, tag), "a name is a piece of its tag");
        Check(Inside(attribute.value, tag), "a value is a piece of its tag");
        Check(attribute.nameEnd > 0 && attribute.nameEnd <= tag.size(), "a name ends inside its tag");
        const QByteArrayView best = HtmlImageSources::BestCandidate(attribute.value);
        Check(Inside(best, attribute.value), "the chosen address is a piece of the srcset");
        Check(!best.contains(' ') && !best.contains('\n') && !best.endsWith(','),
              "the chosen address has no blank and no comma at its end");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype zero = bytes.indexOf('\0');
    const QByteArray source = zero < 0 ? bytes : bytes.left(zero);

    TSimpleHTMLParser parser(bytes);
    qsizetype cursor = 0;
    qsizetype steps = 0;
    for (; parser.Kind() != TSimpleHTMLParser::kindEnd; parser.Next()) {
        Check(++steps <= source.size(), "every token uses at least one byte");
        const QByteArray &text = parser.TokenText();
        const qsizetype at = source.indexOf(text, cursor);
        Check(at >= cursor, "token texts lie in the source, in order");
        cursor = at + text.size();
        if (parser.Kind() == TSimpleHTMLParser::kindTag) {
            Check(!text.contains('>'), "a tag ends at its first >");
            Check(parser.IsTag(text), "a tag is its own name");
            CheckAttributes(text);
        } else {
            Check(parser.Kind() == TSimpleHTMLParser::kindText, "kinds are end, text or tag");
            Check(!text.isEmpty() && uchar(text[0]) > 32, "text runs start after the blanks");
            Check(!text.contains('<') && !text.contains('\n') && !text.contains('\r'),
                  "text runs stop at tags and lines");
            Check(!parser.IsTag(text), "text is no tag");
        }
    }
    parser.Next();
    Check(parser.Kind() == TSimpleHTMLParser::kindEnd, "the end stays the end");
    return 0;
}
