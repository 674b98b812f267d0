#include "HttpUrlParts.h"

#include <gtest/gtest.h>

// Catches an https URL, written in full or loosely, split into the wrong scheme, host, port or path.
TEST(HttpUrlPartsTest, HttpsSplitsLikeHttp)
{
    const THttpUrlParts full = THttpUrlParts::Parse("https://u:p@h.example:8443/d/a.jpg");
    EXPECT_EQ(full.Proto, "https");
    EXPECT_EQ(full.User + "|" + full.Pass + "|" + full.Host + "|" + full.Port + "|" + full.Path,
              "u|p|h.example|8443|/d/a.jpg");
    for (const char *scheme : {"http", "HTTPS"}) {
        const QString loose = QString::fromLatin1(scheme) + ":/d/a.jpg";
        const THttpUrlParts parts = THttpUrlParts::Parse(loose);
        EXPECT_EQ(parts.Proto, QString::fromLatin1(scheme).toLower()) << scheme;
        EXPECT_EQ(parts.Host, "") << scheme;
        EXPECT_EQ(parts.Path, "/d/a.jpg") << scheme;
    }
    const THttpUrlParts slashes = THttpUrlParts::Parse("https://h.example");
    EXPECT_EQ(slashes.Host + "|" + slashes.Path, "h.example|");
}
