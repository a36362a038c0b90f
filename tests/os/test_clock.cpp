// Clock arithmetic, calendar mapping and the sleeps' lower bounds.
#include <gtest/gtest.h>
#include <time.h>

#include "os/os.h"

struct FrequencyOverride {
    i64 saved = os_frequency;
    explicit FrequencyOverride(i64 frequency) { os_frequency = frequency; }
    ~FrequencyOverride() { os_frequency = saved; }
};

TEST(Clock, TickConversionTruncates) {
    FrequencyOverride at(10000000);
    EXPECT_EQ(os_ticks_to_microseconds(25000000), 2500000);
    EXPECT_EQ(os_ticks_to_microseconds(9), 0);
    EXPECT_EQ(os_ticks_to_microseconds(10), 1);
    EXPECT_EQ(os_ticks_to_microseconds(0), 0);
}

TEST(Clock, TickConversionAtTheEdgeOfTheSixtyFourBitProduct) {
    // 2^64 / 1e6 ticks is where ticks * 1e6 overflows: ~21 days at 10 MHz.
    FrequencyOverride at(10000000);
    const i64 edge = 18446744073709;
    EXPECT_EQ(os_ticks_to_microseconds(edge), edge / 10);
    EXPECT_EQ(os_ticks_to_microseconds(edge + 1), (edge + 1) / 10);
    // A year of uptime still converts exactly.
    const i64 year = 365LL * 24 * 3600 * 10000000;
    EXPECT_EQ(os_ticks_to_microseconds(year + 7), year / 10);
    EXPECT_EQ(os_ticks_to_microseconds(INT64_MAX), INT64_MAX / 10);
}

TEST(Clock, OddFrequencies) {
    {
        FrequencyOverride at(3579545); // the old ACPI PM timer
        EXPECT_EQ(os_ticks_to_microseconds(3579545), 1000000);
        EXPECT_EQ(os_ticks_to_microseconds(3579545LL * 3600 * 24 * 30), 1000000LL * 3600 * 24 * 30);
        EXPECT_EQ(os_ticks_to_microseconds(1790), 500); // 500.06 truncated
    }
    {
        FrequencyOverride at(1000000000);
        EXPECT_EQ(os_ticks_to_microseconds(1999), 1);
    }
}

TEST(Clock, CounterAdvancesAndAgreesWithTheMillisecondClock) {
    i64 t0 = os_ticks();
    i64 us0 = os_time_microseconds();
    i64 ms0 = os_time_milliseconds();
    os_sleep_ms(20);
    i64 t1 = os_ticks();
    EXPECT_GT(t1, t0);
    i64 us = os_time_microseconds() - us0;
    i64 ms = os_time_milliseconds() - ms0;
    EXPECT_GE(us, 19000); // a sleep may end late, never much early
    EXPECT_GE(ms, 19);
    EXPECT_LE(ms * 1000, us + 2000);
}

TEST(Clock, SleepsLastAtLeastWhatWasAsked) {
    i64 start = os_time_microseconds();
    os_sleep_us(16667); // 16 ms
    EXPECT_GE(os_time_microseconds() - start, 15500);
    start = os_time_microseconds();
    os_sleep_s(0);
    os_sleep_us(999); // 0 ms: only yields
    os_sleep_ms(-5);
    EXPECT_LT(os_time_microseconds() - start, 1000000);
}

TEST(Calendar, WeekdayRunsMondayOneToSeven) {
    OsDateTime sunday = os_date_time_from_calendar(2026, 12, 6, 0, 23, 59, 58, 999);
    EXPECT_EQ(sunday.weekday, 7);
    EXPECT_EQ(sunday.year, 2026);
    EXPECT_EQ(sunday.month, 12);
    EXPECT_EQ(sunday.day, 6);
    EXPECT_EQ(sunday.hour, 23);
    EXPECT_EQ(sunday.minute, 59);
    EXPECT_EQ(sunday.second, 58);
    EXPECT_EQ(sunday.microsecond, 999000u);
    EXPECT_EQ(os_date_time_from_calendar(2026, 12, 7, 1, 0, 0, 0, 0).weekday, 1);
    EXPECT_EQ(os_date_time_from_calendar(2026, 12, 12, 6, 0, 0, 0, 0).weekday, 6);
}

// Day of the week of a civil date, 1 = Monday .. 7 = Sunday (ISO numbering,
// which is exactly the library's), by a method independent of the system's.
static int iso_weekday(int y, int m, int d) {
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (m < 3) y -= 1;
    int sunday0 = (y + y / 4 - y / 100 + y / 400 + offsets[m - 1] + d) % 7;
    return sunday0 == 0 ? 7 : sunday0;
}

TEST(Calendar, SystemAndLocalTimeAreRealDates) {
    time_t before = time(nullptr);
    OsDateTime utc = os_system_time();
    OsDateTime local = os_local_time();
    struct tm expected;
#ifdef _WIN32
    gmtime_s(&expected, &before);
#else
    gmtime_r(&before, &expected);
#endif
    EXPECT_EQ(utc.year, expected.tm_year + 1900);
    EXPECT_EQ(utc.month, expected.tm_mon + 1);
    EXPECT_EQ(utc.weekday, iso_weekday(utc.year, utc.month, utc.day));
    EXPECT_EQ(local.weekday, iso_weekday(local.year, local.month, local.day));
    EXPECT_EQ(utc.microsecond % 1000, 0u);
    EXPECT_LT(utc.microsecond, 1000000u);
    EXPECT_LE(utc.hour, 23);
    EXPECT_LE(utc.second, 60);
}
