// The monitor table, filled by the system's monitor enumeration.
#include "os_w32_window.h"

#include <string.h>

static OsMonitor *os_w32_monitors;
static i32 os_w32_monitor_count;
static i32 os_w32_monitor_capacity;

static BOOL CALLBACK os_w32_add_monitor(HMONITOR handle, HDC, LPRECT rect, LPARAM) {
    if (os_w32_monitor_count == os_w32_monitor_capacity) {
        i32 capacity = os_w32_monitor_capacity * 2;
        OsMonitor *grown = (OsMonitor *)os_realloc(os_w32_monitors, (u32)capacity * sizeof(OsMonitor));
        if (!grown) return TRUE;
        os_w32_monitors = grown;
        os_w32_monitor_capacity = capacity;
    }
    OsMonitor *monitor = &os_w32_monitors[os_w32_monitor_count];
    memset(monitor, 0, sizeof *monitor);
    monitor->handle = handle;
    monitor->x = rect->left;
    monitor->y = rect->top;

    MONITORINFOEXW info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(handle, &info)) {
        if (info.dwFlags & MONITORINFOF_PRIMARY) monitor->flags |= 1;
        monitor->work_x = info.rcWork.left;
        monitor->work_y = info.rcWork.top;
        monitor->work_width = info.rcWork.right - info.rcWork.left;
        monitor->work_height = info.rcWork.bottom - info.rcWork.top;
        int bytes = WideCharToMultiByte(CP_UTF8, 0, info.szDevice, -1, nullptr, 0, nullptr, nullptr);
        if (bytes < 1) bytes = 1;
        char *name = (char *)os_alloc_zeroed((u32)bytes);
        WideCharToMultiByte(CP_UTF8, 0, info.szDevice, -1, name, bytes, nullptr, nullptr);
        monitor->name = StrSlice{bytes - 1, name};
        DEVMODEW mode = {};
        mode.dmSize = sizeof mode;
        if (EnumDisplaySettingsW(info.szDevice, ENUM_CURRENT_SETTINGS, &mode)) {
            monitor->width = (i32)mode.dmPelsWidth;
            monitor->height = (i32)mode.dmPelsHeight;
            monitor->refresh_rate = (i32)mode.dmDisplayFrequency;
        }
    } else {
        monitor->work_x = monitor->x;
        monitor->work_y = monitor->y;
        monitor->work_width = monitor->width;
        monitor->work_height = monitor->height;
        os_diagnostic("* WARNING * Failed to get monitor info (name, inner bounds, primary status).\n");
    }
    os_monitor_fallbacks(monitor, rect->right - rect->left, rect->bottom - rect->top);
    os_w32_monitor_count++;
    return TRUE;
}

static void os_w32_enumerate_monitors(void) {
    if (!os_w32_monitors) {
        os_w32_monitor_capacity = 8;
        os_w32_monitors = (OsMonitor *)os_alloc((u32)os_w32_monitor_capacity * sizeof(OsMonitor));
    }
    // A second enumeration rebuilds the table instead of appending duplicates.
    for (i32 i = 0; i < os_w32_monitor_count; i++)
        if (os_w32_monitors[i].name.data) os_free(os_w32_monitors[i].name.data);
    os_w32_monitor_count = 0;
    EnumDisplayMonitors(nullptr, nullptr, os_w32_add_monitor, 0);
}

void os_get_monitors(i32 *count, OsMonitor **table) {
    os_w32_enumerate_monitors();
    if (count) *count = os_w32_monitor_count;
    if (table) *table = os_w32_monitors;
}

OsMonitor *os_get_main_monitor(void) {
    if (!os_w32_monitors) os_w32_enumerate_monitors();
    return os_w32_monitors;
}
