// Start-up, clock, sleeps and the standard-output write.
#include "../os_internal.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <timeapi.h>

// Per-monitor awareness (v2 where the system has it) makes every coordinate
// the program handles a physical pixel on every monitor, whatever its scale:
// the cursor, window places and the region handed to the screen grabber.
// The newer calls are looked up at run time, since older systems lack them.
static bool os_w32_declare_dpi_awareness(void) {
    typedef BOOL(WINAPI * SetContext)(HANDLE);
    typedef HRESULT(WINAPI * SetAwareness)(int);
    const HANDLE per_monitor_aware_v2 = (HANDLE)(LONG_PTR)-4;
    const int process_per_monitor_dpi_aware = 2;
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    SetContext set_context =
        user32 ? (SetContext)(void (*)(void))GetProcAddress(user32, "SetProcessDpiAwarenessContext") : nullptr;
    if (set_context && set_context(per_monitor_aware_v2)) return true;
    HMODULE shcore = LoadLibraryW(L"shcore.dll");
    SetAwareness set_awareness =
        shcore ? (SetAwareness)(void (*)(void))GetProcAddress(shcore, "SetProcessDpiAwareness") : nullptr;
    // E_ACCESSDENIED: a manifest or an earlier call already chose; it stays chosen.
    if (set_awareness) {
        HRESULT result = set_awareness(process_per_monitor_dpi_aware);
        if (result == S_OK || result == E_ACCESSDENIED) return true;
    }
    return SetProcessDPIAware() != 0;
}

void os_init(void) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    os_frequency = frequency.QuadPart;
    // Sleep() otherwise rounds up to the 15.6 ms system tick, which would
    // pace a 60 Hz frame loop at 32 Hz.
    timeBeginPeriod(1);
    if (!os_w32_declare_dpi_awareness()) os_diagnostic("Error: failed to set DPI awareness\n");
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
