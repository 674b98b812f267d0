// The cookie-file and .netrc readers on any bytes: lines are taken or counted as bad, never more
// bad lines than lines, and no cookie taken can break the request it goes with.
#include "download/TCookieJar.h"
#include "download/TNetrc.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const TCookieJar::TLoad load = TCookieJar::ReadText(bytes);
    FuzzSupport::Check(load.error.isEmpty(), "a text is read, whatever it holds");
    FuzzSupport::Check(load.badLines + load.jar->Cookies().size() <= bytes.count('\n') + 1, "a line a cookie at most");
    for (const TCookieJar::TCookie &cookie : load.jar->Cookies())
        for (const QString &url : {QLatin1String("https://") + cookie.domain + cookie.path,
                                   QLatin1String("http://www.") + cookie.domain + QLatin1String("/")}) {
            const QString header = load.jar->HeaderFor(url, 0);
            FuzzSupport::Check(std::none_of(header.begin(), header.end(),
                                            [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; }),
                               "no control character reaches the Cookie line");
        }
    // A domain with a ":" or a path with "?" or "#" cannot be written into a URL as it stands.
    const auto writable = [](const TCookieJar::TCookie &c) {
        return !c.domain.contains(u':') && !c.path.contains(u'?') && !c.path.contains(u'#');
    };
    if (!load.jar->Cookies().isEmpty() && writable(load.jar->Cookies().first())) {
        const TCookieJar::TCookie &first = load.jar->Cookies().first();
        FuzzSupport::Check(load.jar->HeaderFor(QLatin1String("https://") + first.domain + first.path, 0)
                               .contains(first.name + QLatin1Char('=') + first.value),
                           "a cookie goes to its own host and path");
    }

    const TNetrc netrc = TNetrc::Parse(bytes);
    (void)netrc.For(QStringLiteral("example.com"));
    return 0;
}
