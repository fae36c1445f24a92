// System time as FILETIME (100 ns units since 1601-01-01 UTC) and its calendar form.
#include <windows.h>

#include <time.h>

namespace {

constexpr ULONGLONG kUnitsPerSecond = 10000000ULL;
constexpr ULONGLONG kSecondsFrom1601To1970 = 11644473600ULL;

// Days from the civil date 1970-01-01 (proleptic Gregorian), after Howard Hinnant's algorithm.
void CivilFromDays(long long days, int& year, int& month, int& day) {
    days += 719468;
    long long era = (days >= 0 ? days : days - 146096) / 146097;
    unsigned doe = static_cast<unsigned>(days - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = static_cast<long long>(yoe) + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

}  // namespace

void WINAPI GetSystemTimeAsFileTime(LPFILETIME time) {
    if (!time) return;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    ULONGLONG units = (static_cast<ULONGLONG>(now.tv_sec) + kSecondsFrom1601To1970) * kUnitsPerSecond +
                      static_cast<ULONGLONG>(now.tv_nsec) / 100;
    time->dwLowDateTime = static_cast<DWORD>(units);
    time->dwHighDateTime = static_cast<DWORD>(units >> 32);
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    if (!fileTime || !systemTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ULONGLONG units = static_cast<ULONGLONG>(fileTime->dwHighDateTime) << 32 | fileTime->dwLowDateTime;
    if (units >> 63) {  // Windows refuses times past 0x7FFFFFFFFFFFFFFF
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ULONGLONG seconds = units / kUnitsPerSecond;
    long long days = static_cast<long long>(seconds / 86400) - static_cast<long long>(kSecondsFrom1601To1970 / 86400);
    ULONGLONG inDay = seconds % 86400;
    int year, month, day;
    CivilFromDays(days, year, month, day);
    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    systemTime->wDay = static_cast<WORD>(day);
    // 1601-01-01 was a Monday: day 0 of the count is weekday 1.
    long long fromMonday = static_cast<long long>(seconds / 86400) % 7;
    systemTime->wDayOfWeek = static_cast<WORD>((fromMonday + 1) % 7);
    systemTime->wHour = static_cast<WORD>(inDay / 3600);
    systemTime->wMinute = static_cast<WORD>(inDay / 60 % 60);
    systemTime->wSecond = static_cast<WORD>(inDay % 60);
    systemTime->wMilliseconds = static_cast<WORD>(units % kUnitsPerSecond / 10000);
    return TRUE;
}
