// GetSystemTimeAsFileTime and FileTimeToSystemTime.
#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>

namespace {

FILETIME Units(ULONGLONG v) { return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)}; }

TEST(Time, CalendarFormOfKnownInstants) {
    struct {
        ULONGLONG units;
        WORD year, month, dayOfWeek, day, hour, minute, second, ms;
    } cases[] = {
        {0, 1601, 1, 1, 1, 0, 0, 0, 0},                              // a Monday
        {116444736000000000ULL, 1970, 1, 4, 1, 0, 0, 0, 0},         // the Unix epoch, a Thursday
        {125911584000000000ULL, 2000, 1, 6, 1, 0, 0, 0, 0},         // a Saturday
        {126000000012340000ULL, 2000, 4, 3, 12, 8, 0, 1, 234},
        {132223968000000000ULL, 2020, 1, 4, 2, 0, 0, 0, 0},
        {132274943999990000ULL, 2020, 2, 6, 29, 23, 59, 59, 999},  // the last moment of a leap day
        {157520160000000000ULL, 2100, 3, 1, 1, 0, 0, 0, 0},        // 2100 is no leap year
        {94405410150000000ULL, 1900, 2, 3, 28, 12, 30, 15, 0},
    };
    for (const auto& c : cases) {
        FILETIME ft = Units(c.units);
        SYSTEMTIME st{};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << c.units;
        EXPECT_EQ(st.wYear, c.year) << c.units;
        EXPECT_EQ(st.wMonth, c.month) << c.units;
        EXPECT_EQ(st.wDay, c.day) << c.units;
        EXPECT_EQ(st.wDayOfWeek, c.dayOfWeek) << c.units;
        EXPECT_EQ(st.wHour, c.hour) << c.units;
        EXPECT_EQ(st.wMinute, c.minute) << c.units;
        EXPECT_EQ(st.wSecond, c.second) << c.units;
        EXPECT_EQ(st.wMilliseconds, c.ms) << c.units;
    }
    FILETIME tooLate = Units(0x8000000000000000ULL);
    SYSTEMTIME st;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FileTimeToSystemTime(&tooLate, &st));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Time, SystemTimeAgreesWithTheClock) {
    time_t before = time(nullptr);
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    time_t after = time(nullptr);
    ULONGLONG seconds = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) / 10000000ULL - 11644473600ULL;
    EXPECT_GE(seconds, static_cast<ULONGLONG>(before));
    EXPECT_LE(seconds, static_cast<ULONGLONG>(after));
}

}  // namespace
