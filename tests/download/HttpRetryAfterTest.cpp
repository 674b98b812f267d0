#include "download/HttpRetryAfter.h"

#include <gtest/gtest.h>

// Catches a wait in the wrong unit, a date read in local time, a hostile value (negative, huge,
// a number with junk, a date far ahead or past) taken at its word instead of ignored or capped.
TEST(RetryAfterTest, ReadsSecondsAndDatesAndCapsThem)
{
    const QDateTime now(QDate(2026, 12, 9), QTime(3, 0, 0), Qt::UTC);
    const struct {
        const char *value;
        qint64 seconds;
    } cases[] = {
        {"120", 120},
        {" 0 ", 0},
        {"3601", MaxRetryAfterSeconds},
        {"99999999999999999999999", MaxRetryAfterSeconds},
        {"-5", 0},
        {"12abc", 0},
        {"1e3", 0},
        {"", 0},
        {"garbage", 0},
        {"Wed, 09 Dec 2026 03:02:30 GMT", 150},
        {"Wed, 09 Dec 2026 05:00:00 GMT", MaxRetryAfterSeconds},
        {"Wed, 09 Dec 2026 02:59:00 GMT", 0},
        {"Wed, 09 Dec 2026 03:02:30", 0},
        {"Wed, 32 Dec 2026 03:02:30 GMT", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(RetryAfterSeconds(QString::fromLatin1(c.value), now), c.seconds) << c.value;
}
