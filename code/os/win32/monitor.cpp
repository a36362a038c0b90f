// The monitor table, filled by the system's monitor enumeration.
#include "os_w32_window.h"

#include <string.h>

static BOOL CALLBACK os_w32_add_monitor(HMONITOR handle, HDC, LPRECT rect, LPARAM) {
    OsMonitor *monitor = os_monitor_table_add();
    if (!monitor) return TRUE;
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
    return TRUE;
}

void os_platform_enumerate_monitors(void) {
    EnumDisplayMonitors(nullptr, nullptr, os_w32_add_monitor, 0);
    os_monitor_table_commit();
}
