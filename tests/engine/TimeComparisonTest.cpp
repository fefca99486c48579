#include "engine/Scanner.h"

#include "engine/ScanFixture.h"
#include "engine/TextForms.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <clocale>
#include <cstdlib>
#include <limits>
#include <gtest/gtest.h>

namespace tandrel::engine {
namespace {

using test::Utc;

enum Unit { kSeconds = 0, kMinutes = 1, kHours = 2, kDays = 3, kMonths = 4, kYears = 5 };

TEST(TimeDifferenceTest, CountsUnitBoundariesNotLengths)
{
    // Seconds: plain difference, counterpart minus source.
    EXPECT_EQ(TimeDifference(100, 103, 0, kSeconds), 3);
    EXPECT_EQ(TimeDifference(103, 100, 0, kSeconds), -3);
    EXPECT_EQ(TimeDifference(100, 100, 0, kSeconds), 0);

    // Minutes: 10:00:59 and 10:01:00 are one minute apart, 10:00:00 and 10:00:59 none.
    EXPECT_EQ(TimeDifference(Utc(2020, 5, 1, 10, 0, 59), Utc(2020, 5, 1, 10, 1, 0), 0, kMinutes), 1);
    EXPECT_EQ(TimeDifference(Utc(2020, 5, 1, 10, 0, 0), Utc(2020, 5, 1, 10, 0, 59), 0, kMinutes), 0);
    EXPECT_EQ(TimeDifference(Utc(2020, 5, 1, 10, 1, 0), Utc(2020, 5, 1, 10, 0, 59), 0, kMinutes), -1);
    EXPECT_EQ(TimeDifference(Utc(2020, 5, 1, 10, 0, 59), Utc(2020, 5, 1, 10, 2, 0), 0, kMinutes), 2);

    // Hours.
    EXPECT_EQ(TimeDifference(Utc(2020, 5, 1, 10, 59, 59), Utc(2020, 5, 1, 11, 0, 0), 0, kHours), 1);
    EXPECT_EQ(TimeDifference(Utc(2020, 5, 1, 10, 0, 0), Utc(2020, 5, 1, 10, 59, 59), 0, kHours), 0);
    EXPECT_EQ(TimeDifference(Utc(2020, 5, 1, 23, 0, 0), Utc(2020, 5, 2, 1, 0, 0), 0, kHours), 2);

    // Days: calendar dates.
    EXPECT_EQ(TimeDifference(Utc(2020, 5, 1, 23, 59, 59), Utc(2020, 5, 2, 0, 0, 0), 0, kDays), 1);
    EXPECT_EQ(TimeDifference(Utc(2020, 5, 1, 23, 59, 0), Utc(2020, 5, 2, 0, 1, 0), 0, kDays), 1);
    EXPECT_EQ(TimeDifference(Utc(2020, 5, 1, 0, 0, 0), Utc(2020, 5, 1, 23, 59, 59), 0, kDays), 0);
    EXPECT_EQ(TimeDifference(Utc(2020, 5, 2, 0, 0, 0), Utc(2020, 5, 1, 23, 59, 59), 0, kDays), -1);
    EXPECT_EQ(TimeDifference(Utc(2020, 2, 28, 12, 0, 0), Utc(2020, 3, 1, 12, 0, 0), 0, kDays), 2); // leap year

    // Months: (year*12 + month) difference.
    EXPECT_EQ(TimeDifference(Utc(2020, 1, 31, 12, 0, 0), Utc(2020, 2, 1, 12, 0, 0), 0, kMonths), 1);
    EXPECT_EQ(TimeDifference(Utc(2020, 1, 1, 0, 0, 0), Utc(2020, 1, 31, 23, 59, 59), 0, kMonths), 0);
    EXPECT_EQ(TimeDifference(Utc(2013, 12, 31, 23, 59, 59), Utc(2014, 1, 1, 0, 0, 0), 0, kMonths), 1);
    EXPECT_EQ(TimeDifference(Utc(2014, 1, 15, 0, 0, 0), Utc(2015, 1, 1, 0, 0, 0), 0, kMonths), 12);
    EXPECT_EQ(TimeDifference(Utc(2015, 1, 1, 0, 0, 0), Utc(2014, 1, 15, 0, 0, 0), 0, kMonths), -12);

    // Years.
    EXPECT_EQ(TimeDifference(Utc(2013, 12, 31, 23, 59, 59), Utc(2014, 1, 1, 0, 0, 0), 0, kYears), 1);
    EXPECT_EQ(TimeDifference(Utc(2014, 1, 1, 0, 0, 0), Utc(2014, 12, 31, 23, 59, 59), 0, kYears), 0);
    EXPECT_EQ(TimeDifference(Utc(2024, 6, 1, 0, 0, 0), Utc(2014, 6, 1, 0, 0, 0), 0, kYears), -10);
}

TEST(TimeDifferenceTest, LocalOffsetMovesTheBoundaries)
{
    // +05:30: 04:29:59 and 04:30:00 UTC are 09:59:59 and 10:00:00 local.
    const std::int64_t india = 19800;
    EXPECT_EQ(TimeDifference(Utc(2020, 1, 1, 4, 29, 59), Utc(2020, 1, 1, 4, 30, 0), india, kHours), 1);
    EXPECT_EQ(TimeDifference(Utc(2020, 1, 1, 4, 0, 0), Utc(2020, 1, 1, 4, 29, 59), india, kHours), 0);
    EXPECT_EQ(TimeDifference(Utc(2020, 1, 1, 18, 29, 59), Utc(2020, 1, 1, 18, 30, 0), india, kDays), 1);
    EXPECT_EQ(TimeDifference(Utc(2020, 1, 1, 18, 29, 59), Utc(2020, 1, 1, 18, 30, 0), 0, kDays), 0);
    // -05:00: 04:59:59 and 05:00:00 UTC on New Year's Day are on either side of local midnight.
    EXPECT_EQ(TimeDifference(Utc(2020, 1, 1, 4, 59, 59), Utc(2020, 1, 1, 5, 0, 0), -18000, kYears), 1);
    EXPECT_EQ(TimeDifference(Utc(2020, 1, 1, 4, 59, 59), Utc(2020, 1, 1, 5, 0, 0), -18000, kMonths), 1);
    // Seconds do not care about the offset.
    EXPECT_EQ(TimeDifference(1000, 1010, india, kSeconds), 10);
}

TEST(TimeDifferenceTest, TimesBefore1970AndAfter2038)
{
    // Boundaries below zero must be found by rounding down, not towards zero.
    EXPECT_EQ(TimeDifference(-1, 0, 0, kSeconds), 1);
    EXPECT_EQ(TimeDifference(-1, 0, 0, kMinutes), 1);
    EXPECT_EQ(TimeDifference(-1, 0, 0, kHours), 1);
    EXPECT_EQ(TimeDifference(-1, 0, 0, kDays), 1);
    EXPECT_EQ(TimeDifference(-1, 0, 0, kMonths), 1);
    EXPECT_EQ(TimeDifference(-1, 0, 0, kYears), 1);
    EXPECT_EQ(TimeDifference(-60, -1, 0, kMinutes), 0);
    EXPECT_EQ(TimeDifference(Utc(1969, 12, 31, 0, 0, 0), Utc(1969, 12, 31, 23, 59, 59), 0, kDays), 0);
    EXPECT_EQ(TimeDifference(Utc(1969, 12, 30, 23, 59, 59), Utc(1969, 12, 31, 0, 0, 0), 0, kDays), 1);
    EXPECT_EQ(TimeDifference(Utc(1950, 3, 1, 10, 0, 0), Utc(1950, 3, 1, 10, 59, 59), 0, kHours), 0);
    EXPECT_EQ(TimeDifference(Utc(1950, 3, 1, 10, 59, 59), Utc(1950, 3, 1, 11, 0, 0), 0, kHours), 1);
    EXPECT_EQ(TimeDifference(Utc(1901, 1, 1, 0, 0, 0), Utc(2101, 1, 1, 0, 0, 0), 0, kYears), 200);

    EXPECT_EQ(TimeDifference(2147483647LL, 2147483648LL, 0, kSeconds), 1);
    EXPECT_EQ(TimeDifference(Utc(2100, 2, 28, 23, 59, 59), Utc(2100, 3, 1, 0, 0, 0), 0, kDays), 1);
    EXPECT_EQ(TimeDifference(Utc(2096, 2, 28, 12, 0, 0), Utc(2096, 3, 1, 12, 0, 0), 0, kDays), 2);
    EXPECT_EQ(TimeDifference(Utc(2199, 12, 31, 23, 59, 59), Utc(2200, 1, 1, 0, 0, 0), 0, kMonths), 1);
}

TEST(ClassifyPairTest, ToleranceDirectionAndSize)
{
    settings::CompareOptions o = test::NoFilters();
    const std::int64_t t = Utc(2021, 6, 1, 10, 0, 0);

    o.IgnoreTime = 2;
    EXPECT_EQ(ClassifyPair(t, 10, t + 3, 10, 0, o), 2); // source older
    EXPECT_EQ(ClassifyPair(t + 3, 10, t, 10, 0, o), 1); // source newer
    EXPECT_EQ(ClassifyPair(t, 10, t + 2, 10, 0, o), 0); // within the tolerance
    EXPECT_EQ(ClassifyPair(t + 2, 10, t, 10, 0, o), 0);
    EXPECT_EQ(ClassifyPair(t, 10, t + 2, 11, 0, o), 5); // within, sizes differ
    EXPECT_EQ(ClassifyPair(t, 10, t + 3, 11, 0, o), 2); // beyond: time decides, not size

    o.IgnoreTime = 0;
    EXPECT_EQ(ClassifyPair(t, 10, t, 10, 0, o), 0);
    EXPECT_EQ(ClassifyPair(t, 10, t, 9, 0, o), 5);
    EXPECT_EQ(ClassifyPair(t, 10, t + 1, 10, 0, o), 2);
    EXPECT_EQ(ClassifyPair(t + 1, 10, t, 10, 0, o), 1);
    // Sizes are compared in full 64 bits.
    EXPECT_EQ(ClassifyPair(t, 1, t, 1 + (1LL << 32), 0, o), 5);
    EXPECT_EQ(ClassifyPair(t, 5368709123LL, t, 5368709123LL, 0, o), 0);

    // Tolerance in minutes counts boundaries: 61 s apart may be two minutes.
    o.IgnoreType = kMinutes;
    o.IgnoreTime = 1;
    EXPECT_EQ(ClassifyPair(Utc(2021, 6, 1, 10, 0, 0), 1, Utc(2021, 6, 1, 10, 1, 59), 1, 0, o), 0);
    EXPECT_EQ(ClassifyPair(Utc(2021, 6, 1, 10, 0, 59), 1, Utc(2021, 6, 1, 10, 2, 0), 1, 0, o), 2);

    // Days with no tolerance: 23:59 and 00:01 of the next day differ by one day.
    o.IgnoreType = kDays;
    o.IgnoreTime = 0;
    EXPECT_EQ(ClassifyPair(Utc(2021, 6, 1, 23, 59, 0), 1, Utc(2021, 6, 2, 0, 1, 0), 1, 0, o), 2);
    EXPECT_EQ(ClassifyPair(Utc(2021, 6, 2, 0, 1, 0), 1, Utc(2021, 6, 1, 23, 59, 0), 1, 0, o), 1);
    EXPECT_EQ(ClassifyPair(Utc(2021, 6, 1, 0, 1, 0), 1, Utc(2021, 6, 1, 23, 59, 0), 2, 0, o), 5);

    // Years with a tolerance of one.
    o.IgnoreType = kYears;
    o.IgnoreTime = 1;
    EXPECT_EQ(ClassifyPair(Utc(2020, 12, 31, 0, 0, 0), 1, Utc(2021, 1, 1, 0, 0, 0), 1, 0, o), 0);
    EXPECT_EQ(ClassifyPair(Utc(2020, 12, 31, 0, 0, 0), 1, Utc(2022, 1, 1, 0, 0, 0), 1, 0, o), 2);

    // A negative tolerance (only a hand-edited file holds one): any difference counts.
    o.IgnoreType = kSeconds;
    o.IgnoreTime = -5;
    EXPECT_EQ(ClassifyPair(t, 1, t + 1, 1, 0, o), 2);
    EXPECT_EQ(ClassifyPair(t, 1, t, 2, 0, o), 5);
}

// Any two times and any offset: the exact count, worked out in 128 bits (a
// count of seconds beyond 64 bits held at the end of the range), for months
// and years at least the direction, and a time text only for a time that has one.
TEST(TimeDifferenceTest, ExtremeTimesAndOffsetsNeverOverflow)
{
    using Wide = __int128;
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    const std::int64_t times[] = {kMin, kMin + 1, -86401, -1, 0, 1, Utc(2020, 1, 1, 0, 0, 0), kMax - 1, kMax};
    const std::int64_t offsets[] = {kMin, -50400, 0, 19800, kMax};
    const auto floorDiv = [](Wide a, Wide b) { return a / b - (a % b < 0 ? 1 : 0); };
    for (const std::int64_t s : times)
        for (const std::int64_t c : times)
            for (const std::int64_t off : offsets) {
                const Wide exact = Wide{c} - s;
                const std::int64_t seconds = exact > kMax ? kMax : exact < kMin ? kMin : static_cast<std::int64_t>(exact);
                EXPECT_EQ(TimeDifference(s, c, off, kSeconds), seconds) << s << " " << c;
                const std::int64_t units[] = {60, 3600, 86400};
                for (int unit = kMinutes; unit <= kDays; ++unit) {
                    const Wide u = units[unit - 1];
                    const Wide expected = floorDiv(Wide{c} + off, u) - floorDiv(Wide{s} + off, u);
                    EXPECT_TRUE(TimeDifference(s, c, off, unit) == expected) << s << " " << c << " " << off << " " << unit;
                }
                // The texts show times within a million years or so, and no others.
                const Wide local = Wide{s} + off;
                const bool shown = local >= -(Wide{1} << 50) && local <= (Wide{1} << 50);
                LocalFields fields;
                EXPECT_EQ(ToLocalFields(s, off, fields), shown) << s << " " << off;
                EXPECT_EQ(TimeText(s, off).empty(), !shown) << s << " " << off;
                for (int unit : {kMonths, kYears}) {
                    const std::int64_t diff = TimeDifference(s, c, off, unit);
                    EXPECT_TRUE(diff == 0 || (diff > 0) == (c > s)) << s << " " << c << " " << off << " " << unit;
                }
            }

    // A file at -1 against one at the end of the range: beyond any tolerance.
    settings::CompareOptions o = test::NoFilters();
    o.IgnoreTime = std::numeric_limits<std::int32_t>::max();
    for (int unit = kSeconds; unit <= kYears; ++unit)
        for (const std::int64_t off : offsets) {
            o.IgnoreType = unit;
            EXPECT_EQ(ClassifyPair(-1, 1, kMax, 1, off, o), 2) << unit << " " << off;
            EXPECT_EQ(ClassifyPair(kMax, 1, -1, 1, off, o), 1) << unit << " " << off;
            EXPECT_EQ(ClassifyPair(kMin, 1, kMax, 1, off, o), 2) << unit << " " << off;
            EXPECT_EQ(ClassifyPair(kMax, 1, kMin, 1, off, o), 1) << unit << " " << off;
        }
}

// The same rules on real files, through the scanner.
TEST(TimeComparisonScanTest, PairsOnDisk)
{
    test::TempTree tree;
    const std::int64_t t = Utc(2019, 4, 10, 10, 0, 0);
    // Three seconds apart, equal sizes.
    tree.WriteFile("src/older3.txt", "abc", t);
    tree.WriteFile("dst/older3.txt", "xyz", t + 3);
    tree.WriteFile("src/newer3.txt", "abc", t + 3);
    tree.WriteFile("dst/newer3.txt", "xyz", t);
    // Two seconds apart: equal with equal sizes, size-changed otherwise.
    tree.WriteFile("src/within2.txt", "abc", t);
    tree.WriteFile("dst/within2.txt", "xyz", t + 2);
    tree.WriteFile("src/within2size.txt", "abc", t + 2);
    tree.WriteFile("dst/within2size.txt", "abcd", t);
    // Fractions are dropped: .2 and .9 of the same second are equal.
    tree.WriteFile("src/fraction.txt", "abc", t, 200000000);
    tree.WriteFile("dst/fraction.txt", "abc", t, 900000000);
    // Contents are never read.
    tree.WriteFile("src/samemeta.txt", "aaaa", t);
    tree.WriteFile("dst/samemeta.txt", "bbbb", t);

    test::ScanSetup setup;
    setup.options.IgnoreTime = 2;
    auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
    EXPECT_EQ(test::Relatives(store, ResultCategory::NewerThanDestination), (std::vector<std::string>{"newer3.txt"}));
    EXPECT_EQ(test::Relatives(store, ResultCategory::OlderThanDestination), (std::vector<std::string>{"older3.txt"}));
    EXPECT_EQ(test::Relatives(store, ResultCategory::OnlySizeChanged), (std::vector<std::string>{"within2size.txt"}));
    EXPECT_EQ(store.Count(ResultCategory::NotInDestination), 0u);
    EXPECT_EQ(store.Count(ResultCategory::NotInSource), 0u);

    // The row carries both sides' raw values.
    const CompareItem* older = test::FindRow(store, ResultCategory::OlderThanDestination, "older3.txt");
    ASSERT_NE(older, nullptr);
    EXPECT_EQ(older->size, 3);
    EXPECT_EQ(older->modified, t);
    EXPECT_EQ(older->counterpartSize, 3);
    EXPECT_EQ(older->counterpartModified, t + 3);
    EXPECT_FALSE(older->isFolder);
    EXPECT_EQ(older->icon, RowIcon::File);
    EXPECT_EQ(store.Path(ResultCategory::OlderThanDestination, *older), tree.Path("src/older3.txt"));
    EXPECT_EQ(store.TargetPath(ResultCategory::OlderThanDestination, *older), tree.Path("dst/older3.txt"));
    const CompareItem* sized = test::FindRow(store, ResultCategory::OnlySizeChanged, "within2size.txt");
    ASSERT_NE(sized, nullptr);
    EXPECT_EQ(store.SizeTextOf(*sized), "3");
    EXPECT_EQ(store.CounterpartSizeText(*sized), "4");

    // With no tolerance the two-second pairs differ and the fractions still do not.
    setup.options.IgnoreTime = 0;
    store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NewerThanDestination),
              (std::set<std::string>{"newer3.txt", "within2size.txt"}));
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::OlderThanDestination),
              (std::set<std::string>{"older3.txt", "within2.txt"}));
    EXPECT_EQ(store.Count(ResultCategory::OnlySizeChanged), 0u);

    // Equal times to the second, different sizes.
    tree.WriteFile("src/size.bin", "12345", t);
    tree.WriteFile("dst/size.bin", "1234", t, 999999999);
    store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
    EXPECT_EQ(test::Relatives(store, ResultCategory::OnlySizeChanged), (std::vector<std::string>{"size.bin"}));
}

TEST(TimeComparisonScanTest, FileTimesBefore1970AndAfter2038)
{
    std::setlocale(LC_TIME, "C");
    test::TempTree tree;
    const std::int64_t old = Utc(1950, 6, 1, 12, 0, 0);
    const std::int64_t future = Utc(2100, 1, 1, 12, 0, 0);
    tree.WriteFile("src/old.txt", "a", old);
    tree.WriteFile("dst/old.txt", "a", old + 5);
    tree.WriteFile("src/future.txt", "a", future + 10);
    tree.WriteFile("dst/future.txt", "a", future);
    // -0.8 s and -0.1 s both lie in the second before the epoch.
    tree.WriteFile("src/epoch.txt", "a", -1, 200000000);
    tree.WriteFile("dst/epoch.txt", "a", -1, 900000000);
    tree.WriteFile("src/far.txt", "abc", Utc(2200, 3, 4, 5, 6, 7));
    tree.WriteFile("dst/ancient.txt", "abc", Utc(1901, 12, 14, 0, 0, 0));

    auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
    EXPECT_EQ(test::Relatives(store, ResultCategory::OlderThanDestination), (std::vector<std::string>{"old.txt"}));
    EXPECT_EQ(test::Relatives(store, ResultCategory::NewerThanDestination), (std::vector<std::string>{"future.txt"}));
    EXPECT_EQ(store.Count(ResultCategory::OnlySizeChanged), 0u);
    EXPECT_EQ(test::Relatives(store, ResultCategory::NotInDestination), (std::vector<std::string>{"far.txt"}));
    EXPECT_EQ(test::Relatives(store, ResultCategory::NotInSource), (std::vector<std::string>{"ancient.txt"}));

    const auto offset = store.LocalOffset();
    const CompareItem* o = test::FindRow(store, ResultCategory::OlderThanDestination, "old.txt");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->modified, old);
    EXPECT_EQ(o->counterpartModified, old + 5);
    EXPECT_EQ(store.ModifiedText(*o), TimeText(old, offset));
    const CompareItem* far = test::FindRow(store, ResultCategory::NotInDestination, "far.txt");
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(far->modified, Utc(2200, 3, 4, 5, 6, 7));
    EXPECT_TRUE(test::Holds(store.ModifiedText(*far), "/2200 "));
    const CompareItem* ancient = test::FindRow(store, ResultCategory::NotInSource, "ancient.txt");
    ASSERT_NE(ancient, nullptr);
    EXPECT_EQ(ancient->modified, Utc(1901, 12, 14, 0, 0, 0));
}

#ifndef _WIN32
// POSIX only: the zone is set through TZ, which Windows' local time does not follow.
TEST(TimeComparisonScanTest, RunUsesTheLocalOffsetOfNow)
{
    // In a child, under a zone of +05:30: two files on either side of local
    // midnight (18:30 UTC) differ by a day, and the texts show local time.
    test::TempTree tree;
    const std::int64_t before = Utc(2022, 8, 1, 18, 29, 59);
    tree.WriteFile("src/edge.txt", "a", before);
    tree.WriteFile("dst/edge.txt", "a", before + 1, 500000000);
    tree.WriteFile("src/fraction.txt", "a", Utc(2014, 3, 5, 1, 35, 4), 900000000);

    const int status = test::RunGuarded(
        [&] {
            ::setenv("TZ", "XST-5:30", 1);
            ::tzset();
            std::setlocale(LC_TIME, "C");
            test::ScanSetup setup;
            setup.options.IgnoreType = kDays;
            auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
            bool ok = store.LocalOffset() == 19800;
            const CompareItem* edge = test::FindRow(store, ResultCategory::OlderThanDestination, "edge.txt");
            ok = ok && edge != nullptr && store.ModifiedText(*edge) == "Aug/01/2022 23:59:59" &&
                 store.CounterpartModifiedText(*edge) == "Aug/02/2022 00:00:00";
            // 07:05:04.900 local shows 04 as its seconds.
            const CompareItem* frac = test::FindRow(store, ResultCategory::NotInDestination, "fraction.txt");
            ok = ok && frac != nullptr && store.ModifiedText(*frac) == "Mar/05/2014 07:05:04";
            ok = ok && store.TotalCount() == 2;
            if (!ok)
                std::fprintf(stderr, "offset %lld, rows %zu, edge %s, fraction %s\n",
                             static_cast<long long>(store.LocalOffset()), store.TotalCount(),
                             edge ? store.ModifiedText(*edge).c_str() : "(none)",
                             frac ? store.ModifiedText(*frac).c_str() : "(none)");
            return ok;
        },
        60);
    EXPECT_EQ(status, 0);
}
#endif

} // namespace
} // namespace tandrel::engine
