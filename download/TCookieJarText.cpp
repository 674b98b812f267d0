// The Netscape cookies.txt reader: seven tab-separated fields a line, as browsers' exporters,
// curl and wget write it.
#include "download/TCookieJar.h"

#include <QList>

#include <algorithm>
#include <optional>

namespace {
const QByteArray HttpOnlyPrefix("#HttpOnly_");

std::optional<bool> Flag(const QByteArray &field)
{
    if (field.compare("TRUE", Qt::CaseInsensitive) == 0)
        return true;
    if (field.compare("FALSE", Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

// A control character (a tab apart) has no place in a cookie and would break the request.
bool HasControl(const QByteArray &line)
{
    return std::any_of(line.begin(), line.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\t') || byte == 0x7F;
    });
}
} // namespace

TCookieJar::TLoad TCookieJar::ReadText(const QByteArray &text)
{
    TLoad load;
    auto jar = std::make_shared<TCookieJar>();
    int number = 0;
    for (QByteArrayView rest(text); !rest.isEmpty();) {
        const qsizetype end = rest.indexOf('\n');
        QByteArray line = (end < 0 ? rest : rest.first(end)).toByteArray();
        rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        ++number;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > MaxLineBytes) {
            load.SkipBad(number);
            continue;
        }
        if (line.startsWith(HttpOnlyPrefix))
            line.remove(0, HttpOnlyPrefix.size());
        else if (line.startsWith('#') || line.trimmed().isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        bool expiryRead = false;
        const qint64 expiry = fields.size() == 7 ? fields[4].toLongLong(&expiryRead) : 0;
        const std::optional<bool> subdomains = fields.size() == 7 ? Flag(fields[1]) : std::nullopt;
        const std::optional<bool> secure = fields.size() == 7 ? Flag(fields[3]) : std::nullopt;
        if (HasControl(line) || !expiryRead || !subdomains || !secure || jar->FCookies.size() >= MaxCookies) {
            load.SkipBad(number);
            continue;
        }
        TCookie cookie{QString::fromLatin1(fields[0]),
                       !*subdomains,
                       QString::fromLatin1(fields[2]),
                       *secure,
                       expiry,
                       QString::fromLatin1(fields[5]),
                       QString::fromLatin1(fields[6])};
        if (Take(cookie))
            jar->FCookies.append(std::move(cookie));
        else
            load.SkipBad(number);
    }
    load.jar = std::move(jar);
    return load;
}
