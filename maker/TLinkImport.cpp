#include "maker/TLinkImport.h"

#include "core/TJobListModel.h"
#include "core/TSettings.h"
#include "core/jconvert.h"
#include "download/UrlUtil.h"
#include "maker/HtmlImageSources.h"
#include "maker/HtmlParser.h"
#include "maker/THomeFetch.h"
#include "maker/TLinkTreeModel.h"
#include "maker/bmRegExp.h"

#include <QStringList>

#include <algorithm>

namespace {

const QByteArray WidthPattern("(width)[ ]*[=][ ]*[\"]*[0-9]+[\"]*");
const QByteArray HeightPattern("(height)[ ]*[=][ ]*[\"]*[0-9]+[\"]*");
const QByteArray DigitsPattern("[0-9]+");
constexpr int SmallSide = 500;
// Larger declared sizes read as this; it keeps width x height from overflowing.
constexpr int SizeCap = 1000000;

QString LinkText(const QByteArray &bytes)
{
    // Most links are ASCII; the Shift_JIS decoder is kept for the rest.
    for (const char c : bytes)
        if (uchar(c) >= 0x80)
            return jconvert::SjisToUnicode(bytes);
    return QString::fromLatin1(bytes);
}

bool IsNameByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
           || c == ':' || c == '.';
}

// "src" inside data-src or srcset: the lazy scan reads those whole, so the src scan leaves them.
bool InsideLongerName(const QByteArray &page, qsizetype at, qsizetype length)
{
    return (at > 0 && IsNameByte(page[at - 1])) || (at + length < page.size() && IsNameByte(page[at + length]));
}

bool Named(QByteArrayView text, QByteArrayView name)
{
    return text.compare(name, Qt::CaseInsensitive) == 0;
}

// The tag opening at the "<" before at is name, in any case. Most tags of a page are looked at
// here and no further, so nothing is copied.
bool TagIs(const QByteArray &page, qsizetype at, QByteArrayView name)
{
    const qsizetype after = at + name.size();
    if (after > page.size() || !Named(QByteArrayView(page).sliced(at, name.size()), name))
        return false;
    return after == page.size() || page[after] == '>'
           || HtmlImageSources::TagNameLength(QByteArrayView(page).sliced(after, 1)) == 0;
}

bool IsPageExtension(const QString &ext)
{
    static const QStringList pages{".shtml", ".html", ".htm", ".cgi", ".asp"};
    return pages.contains(ext);
}

} // namespace

TLinkImport::TLinkImport(TJobListModel &jobs, TLinkTreeModel &tree, TAWKStr &awk) : FJobs(jobs), FTree(tree), FAwk(awk)
{
}

bool TLinkImport::ImportPage(THomeFetch &fetch, const QString &url, const QPersistentModelIndex &parent,
                             const TSettings &settings)
{
    if (!fetch.FetchPage(url))
        return false;
    ScanLinks(fetch.PageText, fetch.PageURL, parent, settings);
    return true;
}

void TLinkImport::ScanLinks(QByteArray &pageText, const QString &pageUrl, const QModelIndex &parent,
                            const TSettings &settings)
{
    pageText = jconvert::ConvertCode(pageText, jconvert::jcSjis);
    FPage = &pageText;
    FBase = UrlUtil::ParseTrueURL(pageUrl);
    FParent = parent;
    FSettings = &settings;
    FTree.BeginImport(parent);
    ExtractLinks("href");
    ExtractLinks("HREF");
    if (settings.SRC == 1) {
        ExtractLinks("src");
        ExtractLinks("SRC");
        if (settings.LazyImages == 1)
            ExtractLazyLinks();
    }
    FTree.EndImport();
    FPage = nullptr;
}

void TLinkImport::ExtractLinks(const QByteArray &name)
{
    const QByteArray &page = *FPage;
    const QByteArray endTag = name == "href" ? "</a>" : name == "HREF" ? "</A>" : QByteArray();
    const bool wholeNames = endTag.isEmpty() && FSettings->LazyImages == 1;
    FEndTagAt = 0;
    qsizetype from = 0;
    while (from < page.size()) {
        const qsizetype at = page.indexOf(name, from);
        if (at < 0)
            return;
        if (wholeNames && InsideLongerName(page, at, name.size())) {
            from = at + 1;
            continue;
        }
        const qsizetype close = page.indexOf('>', at + name.size());
        const qsizetype regionStart = at + name.size();
        if (close <= regionStart) // no ">" left, or a bare attribute
            return;
        const QByteArray region = page.mid(regionStart, close - regionStart);
        const QByteArray caption = endTag.isEmpty() ? QByteArray() : CaptionAfter(close, endTag);

        const qsizetype eq = region.indexOf('=');
        const QByteArray value = eq < 0 ? QByteArray() : region.mid(eq + 1);
        const QString link = UrlUtil::ParseTrueURL(UrlUtil::DelQuote(LinkText(value)));
        PlaceLink(link, UrlUtil::GetUrlA(FBase, link), region, caption);
        // One character after the ">" is skipped, as the cut rule has it.
        from = close + 2;
    }
}

void TLinkImport::ExtractLazyLinks()
{
    const QByteArray &page = *FPage;
    QStringList seen;
    for (qsizetype open = page.indexOf('<'); open >= 0; open = page.indexOf('<', open + 1)) {
        const bool img = TagIs(page, open + 1, "img");
        if (!img && !TagIs(page, open + 1, "source"))
            continue;
        const qsizetype close = page.indexOf('>', open + 1);
        if (close < 0)
            return;
        const QByteArrayView tag(page.constData() + open + 1, close - open - 1);
        const QList<HtmlImageSources::TAttribute> attributes = HtmlImageSources::TagAttributes(tag);
        enum TKind { NotLazy, Address, SrcSet };
        auto lazyKind = [img](QByteArrayView name) {
            if (Named(name, "srcset"))
                return SrcSet;
            return img && (Named(name, "data-src") || Named(name, "data-original")) ? Address : NotLazy;
        };
        if (std::none_of(attributes.begin(), attributes.end(),
                         [&](const auto &a) { return lazyKind(a.name) != NotLazy; }))
            continue;
        // The tag's src, wherever it stands, is the address the lazy ones must not repeat.
        seen.clear();
        for (const HtmlImageSources::TAttribute &attribute : attributes)
            if (img && Named(attribute.name, "src"))
                seen.append(UrlUtil::GetUrlA(FBase, UrlUtil::ParseTrueURL(LinkText(attribute.value.toByteArray()))));
        for (const HtmlImageSources::TAttribute &attribute : attributes) {
            const TKind kind = lazyKind(attribute.name);
            if (kind == NotLazy)
                continue;
            // The sizes are read after the attribute's name, as for src.
            const qsizetype regionStart = open + 1 + attribute.nameEnd;
            PlaceLazyLink(kind == SrcSet ? HtmlImageSources::BestCandidate(attribute.value) : attribute.value,
                          page.mid(regionStart, close - regionStart), seen);
        }
    }
}

void TLinkImport::PlaceLazyLink(QByteArrayView value, const QByteArray &region, QStringList &seen)
{
    const QString link = UrlUtil::ParseTrueURL(LinkText(value.toByteArray()));
    if (link.isEmpty())
        return;
    const QString url = UrlUtil::GetUrlA(FBase, link);
    if (seen.contains(url))
        return;
    seen.append(url);
    PlaceLink(link, url, region, QByteArray());
}

void TLinkImport::PlaceLink(const QString &link, const QString &url, const QByteArray &region,
                            const QByteArray &caption)
{
    const bool job = !GoesToTree(link, region);
    if (job)
        FJobs.AddJob(url, 0, 0, QString());
    else
        FTree.AddLinkNode(FParent, caption, url);
    if (OnLink)
        OnLink(url, job);
}

QByteArray TLinkImport::CaptionAfter(qsizetype close, const QByteArray &endTag)
{
    const QByteArray &page = *FPage;
    // Searches only move forward, so an end tag found before stays valid until passed.
    if (FEndTagAt >= 0 && FEndTagAt <= close)
        FEndTagAt = page.indexOf(endTag, close + 1);
    if (FEndTagAt < 0)
        return {};
    const qsizetype length = FEndTagAt - (close + 1);
    if (length <= CaptionWindow)
        return LinkCaption(page.mid(close + 1, length) + endTag);
    // A cut inside a tag would show the tag's rest as text.
    QByteArray window = page.mid(close + 1, CaptionWindow);
    const qsizetype lastTag = window.lastIndexOf('<');
    if (lastTag >= 0)
        window.truncate(lastTag);
    return LinkCaption(window);
}

QByteArray TLinkImport::LinkCaption(const QByteArray &fragment)
{
    QByteArray result;
    // Two bytes a character at most: past this the caption keeps none of the rest.
    const qsizetype enough = 2 * TLinkTreeModel::CaptionMax;
    for (TSimpleHTMLParser parser(fragment); parser.Kind() != TSimpleHTMLParser::kindEnd && result.size() < enough;
         parser.Next()) {
        if (parser.Kind() == TSimpleHTMLParser::kindText)
            result += ' ' + parser.TokenText();
        else if (parser.IsTag("BR"))
            result += "\r\n";
        else if (parser.IsTag("P"))
            result += "\r\n\r\n";
    }
    return result;
}

bool TLinkImport::GoesToTree(const QString &link, const QByteArray &region)
{
    if (link.startsWith(u'#') || link.contains(QLatin1StringView("mailto:")) || link.contains(u'?')
        || link.contains(u'#'))
        return true;
    const QString ext = UrlUtil::GetFilePathEx(link).toLower();
    if (ext.isEmpty() || (ext == QLatin1StringView(".gif") && FSettings->Gif == 0))
        return true;
    // The sizes are read only when they can decide.
    if (FSettings->SNSize == 0 && IsSmall(region))
        return true;
    return IsPageExtension(ext) || link.endsWith(u'/');
}

bool TLinkImport::IsSmall(const QByteArray &region)
{
    const QByteArray lower = region.toLower();
    const qint64 width = DeclaredSize(lower, WidthPattern);
    const qint64 height = DeclaredSize(lower, HeightPattern);
    return width * height != 0 && (height <= SmallSide || width <= SmallSide);
}

int TLinkImport::DeclaredSize(const QByteArray &lowerRegion, const QByteArray &pattern)
{
    int start = 0, length = 0;
    FAwk.SetRegExp(pattern);
    FAwk.Match(lowerRegion, start, length);
    if (start <= 0)
        return 0;
    const QByteArray piece = lowerRegion.mid(start - 1, length);
    FAwk.SetRegExp(DigitsPattern);
    FAwk.Match(piece, start, length);
    if (start <= 0)
        return 0;
    int value = 0;
    for (const char c : piece.mid(start - 1, length))
        value = std::min(SizeCap, value * 10 + (c - '0'));
    return value;
}
