#include "download/HttpUrlParts.h"

#include <gtest/gtest.h>

// Catches a loose "https:" URL split at the length of "http:", or given the wrong scheme.
TEST(HttpUrlPartsTest, LooseHttpsSplitsLikeLooseHttp)
{
    for (const char *scheme : {"http", "HTTPS"}) {
        const THttpUrlParts parts = THttpUrlParts::Parse(QString::fromLatin1(scheme) + ":/d/a.jpg");
        EXPECT_EQ(parts.Proto + "|" + parts.Host + "|" + parts.Path,
                  QString::fromLatin1(scheme).toLower() + "||/d/a.jpg");
    }
}
