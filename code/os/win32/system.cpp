// Start-up, clock, sleeps and the standard-output write.
#include "../os_internal.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <timeapi.h>

void os_init(void) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    os_frequency = frequency.QuadPart;
    // Sleep() otherwise rounds up to the 15.6 ms system tick, which would
    // pace a 60 Hz frame loop at 32 Hz.
    timeBeginPeriod(1);
    if (!SetProcessDPIAware()) os_diagnostic("Error: failed to set DPI awareness\n");
}

i64 os_ticks(void) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

static OsDateTime os_w32_date_time(const SYSTEMTIME &t) {
    return os_date_time_from_calendar(t.wYear, t.wMonth, t.wDay, t.wDayOfWeek, t.wHour,
                                      t.wMinute, t.wSecond, t.wMilliseconds);
}

OsDateTime os_system_time(void) {
    SYSTEMTIME t;
    GetSystemTime(&t);
    return os_w32_date_time(t);
}

OsDateTime os_local_time(void) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return os_w32_date_time(t);
}

void os_sleep_ms(i32 milliseconds) { SleepEx(milliseconds < 0 ? 0 : (DWORD)milliseconds, TRUE); }

void os_platform_write_stdout(const char *bytes, i32 length) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!out || out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(out, bytes, (DWORD)length, &written, nullptr);
}

StrSlice os_display_name(void) { return StrSlice{0, nullptr}; }
