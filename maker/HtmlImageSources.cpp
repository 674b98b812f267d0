#include "maker/HtmlImageSources.h"

#include <optional>

namespace HtmlImageSources {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsDigits(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

std::optional<qint64> NonNegativeInteger(QByteArrayView text)
{
    if (!IsDigits(text))
        return std::nullopt;
    qint64 value = 0;
    // Widths past this mean nothing; the cap keeps the sum from overflowing.
    constexpr qint64 cap = qint64(1) << 40;
    for (const char c : text)
        value = std::min(cap, value * 10 + (c - '0'));
    return value;
}

// A number as srcset writes densities: "-"? then digits, ".digits" or both, then an optional exponent.
std::optional<double> FloatingPoint(QByteArrayView text)
{
    QByteArrayView rest = text;
    if (rest.startsWith('-'))
        rest = rest.sliced(1);
    qsizetype i = 0;
    while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9')
        ++i;
    const bool whole = i > 0;
    if (i < rest.size() && rest[i] == '.') {
        const qsizetype start = ++i;
        while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9')
            ++i;
        if (i == start)
            return std::nullopt;
    } else if (!whole) {
        return std::nullopt;
    }
    if (i < rest.size() && (rest[i] == 'e' || rest[i] == 'E')) {
        ++i;
        if (i < rest.size() && (rest[i] == '+' || rest[i] == '-'))
            ++i;
        if (!IsDigits(rest.sliced(i)))
            return std::nullopt;
        i = rest.size();
    }
    if (i != rest.size())
        return std::nullopt;
    bool ok = false;
    const double value = text.toByteArray().toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

struct TCandidate {
    QByteArrayView url;
    qint64 width = 0;    // 0: none given
    double density = -1; // below 0: none given
};

// Reads one candidate's descriptors; false when they break a rule and the candidate is dropped.
bool ReadDescriptors(const QList<QByteArrayView> &descriptors, TCandidate &candidate)
{
    bool height = false;
    for (const QByteArrayView d : descriptors) {
        const char unit = d.back();
        const QByteArrayView number = d.chopped(1);
        if (unit == 'w') {
            const std::optional<qint64> w = NonNegativeInteger(number);
            if (candidate.width || candidate.density >= 0 || !w || *w == 0)
                return false;
            candidate.width = *w;
        } else if (unit == 'x') {
            const std::optional<double> x = FloatingPoint(number);
            if (candidate.width || candidate.density >= 0 || height || !x || *x < 0)
                return false;
            candidate.density = *x;
        } else if (unit == 'h') {
            const std::optional<qint64> h = NonNegativeInteger(number);
            if (height || candidate.density >= 0 || !h || *h == 0)
                return false;
            height = true;
        } else {
            return false;
        }
    }
    return !height || candidate.width;
}

// The descriptors after a candidate's address, up to the comma that ends it; commas inside
// parentheses do not end it. pos moves past that comma.
QList<QByteArrayView> Descriptors(QByteArrayView text, qsizetype &pos)
{
    QList<QByteArrayView> list;
    qsizetype start = -1;
    bool inParens = false;
    auto push = [&](qsizetype end) {
        if (start >= 0 && end > start)
            list.append(text.sliced(start, end - start));
        start = -1;
    };
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (inParens) {
            inParens = c != ')';
        } else if (IsBlank(c)) {
            push(pos);
        } else if (c == ',') {
            push(pos);
            ++pos;
            return list;
        } else {
            if (start < 0)
                start = pos;
            inParens = c == '(';
        }
    }
    push(pos);
    return list;
}

} // namespace

qsizetype TagNameLength(QByteArrayView tag)
{
    qsizetype end = 0;
    while (end < tag.size() && !IsBlank(tag[end]) && tag[end] != '/')
        ++end;
    return end;
}

QList<TAttribute> TagAttributes(QByteArrayView tag)
{
    QList<TAttribute> attributes;
    qsizetype pos = TagNameLength(tag);
    const qsizetype size = tag.size();
    while (pos < size) {
        while (pos < size && (IsBlank(tag[pos]) || tag[pos] == '/'))
            ++pos;
        if (pos >= size)
            break;
        const qsizetype nameStart = pos;
        // A name may begin with "=", which is then part of it.
        ++pos;
        while (pos < size && !IsBlank(tag[pos]) && tag[pos] != '/' && tag[pos] != '=')
            ++pos;
        TAttribute attribute{tag.sliced(nameStart, pos - nameStart), {}, pos};
        qsizetype look = pos;
        while (look < size && IsBlank(tag[look]))
            ++look;
        if (look < size && tag[look] == '=') {
            pos = look + 1;
            while (pos < size && IsBlank(tag[pos]))
                ++pos;
            if (pos < size && (tag[pos] == '"' || tag[pos] == '\'')) {
                const char quote = tag[pos++];
                qsizetype end = pos;
                while (end < size && tag[end] != quote)
                    ++end;
                attribute.value = tag.sliced(pos, end - pos);
                pos = end < size ? end + 1 : end;
            } else {
                const qsizetype start = pos;
                while (pos < size && !IsBlank(tag[pos]))
                    ++pos;
                attribute.value = tag.sliced(start, pos - start);
            }
        }
        attributes.append(attribute);
    }
    return attributes;
}

QByteArrayView BestCandidate(QByteArrayView srcset)
{
    std::optional<TCandidate> best;
    qsizetype pos = 0;
    while (pos < srcset.size()) {
        while (pos < srcset.size() && (IsBlank(srcset[pos]) || srcset[pos] == ','))
            ++pos;
        if (pos >= srcset.size())
            break;
        const qsizetype start = pos;
        while (pos < srcset.size() && !IsBlank(srcset[pos]))
            ++pos;
        TCandidate candidate{srcset.sliced(start, pos - start)};
        QList<QByteArrayView> descriptors;
        // Commas inside an address stay; those at its end close the candidate.
        if (candidate.url.endsWith(','))
            while (candidate.url.endsWith(','))
                candidate.url.chop(1);
        else
            descriptors = Descriptors(srcset, pos);
        if (candidate.url.isEmpty() || !ReadDescriptors(descriptors, candidate))
            continue;
        if (!best) {
            best = candidate;
            continue;
        }
        const double density = candidate.density < 0 ? 1 : candidate.density;
        const double bestDensity = best->density < 0 ? 1 : best->density;
        if (candidate.width ? candidate.width > best->width : !best->width && density > bestDensity)
            best = candidate;
    }
    return best ? best->url : QByteArrayView();
}

} // namespace HtmlImageSources
