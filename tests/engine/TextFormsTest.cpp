#include "engine/TextForms.h"

#include "engine/ScanFixture.h"

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <limits>

namespace tandrel::engine {
namespace {

using test::Utc;

class TextFormsTest : public ::testing::Test {
protected:
    void SetUp() override { std::setlocale(LC_TIME, "C"); }
};

TEST_F(TextFormsTest, SizeTextIsPlainDigits)
{
    EXPECT_EQ(SizeText(0), "0");
    EXPECT_EQ(SizeText(7), "7");
    EXPECT_EQ(SizeText(1234567), "1234567");
    EXPECT_EQ(SizeText(4294967295LL), "4294967295");
    EXPECT_EQ(SizeText(4294967296LL + 5), "4294967301"); // beyond 32 bits, no wrap
    EXPECT_EQ(SizeText(5368709123LL), "5368709123");
    EXPECT_EQ(SizeText(std::numeric_limits<std::int64_t>::max()), "9223372036854775807");
    EXPECT_STREQ(kFolderSizeText, " ");
}

TEST_F(TextFormsTest, TimeTextPatternAndOffset)
{
    // 5 March 2014, 7:05:04 in the morning.
    const std::int64_t t = Utc(2014, 3, 5, 7, 5, 4);
    EXPECT_EQ(TimeText(t, 0), "Mar/05/2014 07:05:04");
    // The offset is added before the calendar fields are taken.
    EXPECT_EQ(TimeText(t - 3600, 3600), "Mar/05/2014 07:05:04");
    EXPECT_EQ(TimeText(t + 19800, -19800), "Mar/05/2014 07:05:04");
    // Offsets move across midnight, month and year ends.
    EXPECT_EQ(TimeText(Utc(2013, 12, 31, 23, 30, 0), 3600), "Jan/01/2014 00:30:00");
    EXPECT_EQ(TimeText(Utc(2014, 1, 1, 0, 30, 0), -3600), "Dec/31/2013 23:30:00");
    // 24-hour clock, two-digit fields.
    EXPECT_EQ(TimeText(Utc(2020, 11, 9, 23, 0, 9), 0), "Nov/09/2020 23:00:09");
    EXPECT_EQ(TimeText(Utc(2020, 1, 1, 0, 0, 0), 0), "Jan/01/2020 00:00:00");

    const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 1; m <= 12; ++m)
        EXPECT_EQ(TimeText(Utc(2001, m, 15, 12, 0, 0), 0), std::string(months[m - 1]) + "/15/2001 12:00:00");
}

TEST_F(TextFormsTest, TimesBefore1970AndAfter2038)
{
    EXPECT_EQ(TimeText(-1, 0), "Dec/31/1969 23:59:59");
    EXPECT_EQ(TimeText(0, 0), "Jan/01/1970 00:00:00");
    EXPECT_EQ(TimeText(Utc(1901, 12, 14, 0, 0, 0), 0), "Dec/14/1901 00:00:00");
    EXPECT_EQ(TimeText(Utc(1600, 2, 29, 6, 7, 8), 0), "Feb/29/1600 06:07:08");
    // The 32-bit limit and well past it.
    EXPECT_EQ(TimeText(2147483647LL, 0), "Jan/19/2038 03:14:07");
    EXPECT_EQ(TimeText(2147483648LL, 0), "Jan/19/2038 03:14:08");
    EXPECT_EQ(TimeText(Utc(2096, 2, 29, 1, 2, 3), 0), "Feb/29/2096 01:02:03");
    EXPECT_EQ(TimeText(Utc(2100, 2, 28, 23, 59, 59) + 1, 0), "Mar/01/2100 00:00:00");
    EXPECT_EQ(TimeText(Utc(2400, 2, 29, 0, 0, 0), 0), "Feb/29/2400 00:00:00");

    LocalFields f;
    ASSERT_TRUE(ToLocalFields(-1, 0, f));
    EXPECT_EQ(f.year, 1969);
    EXPECT_EQ(f.month, 12);
    EXPECT_EQ(f.day, 31);
    EXPECT_EQ(f.hour, 23);
    EXPECT_EQ(f.minute, 59);
    EXPECT_EQ(f.second, 59);
    ASSERT_TRUE(ToLocalFields(Utc(2200, 7, 4, 5, 6, 7), 0, f));
    EXPECT_EQ(f.year, 2200);
    EXPECT_EQ(f.month, 7);
    EXPECT_EQ(f.day, 4);
    EXPECT_EQ(f.hour, 5);
    EXPECT_EQ(f.minute, 6);
    EXPECT_EQ(f.second, 7);
    ASSERT_TRUE(ToLocalFields(Utc(1950, 1, 2, 3, 4, 5) - 7200, 7200, f));
    EXPECT_EQ(f.year, 1950);
    EXPECT_EQ(f.hour, 3);
}

TEST_F(TextFormsTest, UnrepresentableTimesAreRefusedNotOverflowed)
{
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    LocalFields f;
    EXPECT_FALSE(ToLocalFields(kMax, 0, f));
    EXPECT_FALSE(ToLocalFields(kMin, 0, f));
    // Adding the offset must not overflow either (the sanitizer build checks).
    EXPECT_FALSE(ToLocalFields(kMax, 3600, f));
    EXPECT_FALSE(ToLocalFields(kMin, -3600, f));
    // The text of such a time is something, and nothing crashes.
    (void)TimeText(kMax, 3600);
    (void)TimeText(kMin, -3600);
}

TEST_F(TextFormsTest, LocalOffsetFollowsTheTimeZone)
{
    // The zone is changed in a child process only, so that other tests keep theirs.
    auto offsetUnder = [](const char* zone, std::int64_t expected) {
        return test::RunGuarded(
            [&] {
                ::setenv("TZ", zone, 1);
                ::tzset();
                const std::int64_t got = LocalOffsetNow();
                if (got != expected)
                    std::fprintf(stderr, "TZ=%s: offset %lld, expected %lld\n", zone,
                                 static_cast<long long>(got), static_cast<long long>(expected));
                return got == expected;
            },
            20);
    };
    // POSIX zone texts without summer time, so the answer does not depend on the date.
    EXPECT_EQ(offsetUnder("UTC0", 0), 0);
    EXPECT_EQ(offsetUnder("XST-5:30", 19800), 0);
    EXPECT_EQ(offsetUnder("YST+5", -18000), 0);
    EXPECT_EQ(offsetUnder("ZST-5:45", 20700), 0);

    // In this process it agrees with the C library's view of now.
    const time_t now = ::time(nullptr);
    struct tm tm {};
    ::localtime_r(&now, &tm);
    EXPECT_EQ(LocalOffsetNow(), static_cast<std::int64_t>(tm.tm_gmtoff));
}

} // namespace
} // namespace tandrel::engine
