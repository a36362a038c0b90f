// Placement, showing, focus and frame of open windows.
#include "os_w32_window.h"

static HWND os_w32_open_handle(OsWindow *window) {
    if (!window || !(window->flags & OS_WINDOW_OPEN)) return nullptr;
    return (HWND)window->handle;
}

void os_show_window(OsWindow *window) {
    if (HWND handle = os_w32_open_handle(window)) ShowWindow(handle, SW_SHOW);
}

void os_hide_window(OsWindow *window) {
    if (HWND handle = os_w32_open_handle(window)) ShowWindow(handle, SW_HIDE);
}

void os_focus_window(OsWindow *window) {
    HWND handle = os_w32_open_handle(window);
    if (!handle) return;
    window->flags |= OS_WINDOW_FOCUSED;
    SetForegroundWindow(handle);
    SetFocus(handle);
}

void os_minimize_window(OsWindow *window) {
    if (HWND handle = os_w32_open_handle(window)) CloseWindow(handle); // minimises; does not close
}

void os_restore_window(OsWindow *window) {
    if (HWND handle = os_w32_open_handle(window)) ShowWindow(handle, SW_RESTORE);
}

void os_destroy_window(OsWindow *window) {
    if (HWND handle = os_w32_open_handle(window)) DestroyWindow(handle);
}

void os_move_window(OsWindow *window, i32 x, i32 y, i32 width, i32 height) {
    if (HWND handle = os_w32_open_handle(window)) MoveWindow(handle, x, y, width, height, FALSE);
}

void os_set_window_client_rect(OsWindow *window, i32 x, i32 y, i32 width, i32 height) {
    if (!os_w32_open_handle(window)) return;
    // The frame is added to the size: the formula as first written
    // subtracted it, which shrank a framed client by twice its frame.
    os_move_window(window, x + window->window_x - window->client_x, y + window->window_y - window->client_y,
                   width + window->window_width - window->client_width,
                   height + window->window_height - window->client_height);
}

void os_set_window_position(OsWindow *window, i32 x, i32 y) {
    if (!os_w32_open_handle(window)) return;
    os_move_window(window, x, y, window->window_width, window->window_height);
}

void os_set_window_client_position(OsWindow *window, i32 x, i32 y) {
    if (!os_w32_open_handle(window)) return;
    os_move_window(window, x + window->window_x - window->client_x, y + window->window_y - window->client_y,
                   window->window_width, window->window_height);
}

void os_resize_window(OsWindow *window, i32 width, i32 height) {
    if (!os_w32_open_handle(window)) return;
    os_move_window(window, window->window_x - (window->window_width - width) / 2,
                   window->window_y - (window->window_height - height) / 2, width, height);
}

void os_resize_window_client(OsWindow *window, i32 width, i32 height) {
    if (!os_w32_open_handle(window)) return;
    os_move_window(window, window->window_x - (window->client_width - width) / 2,
                   window->window_y - (window->client_height - height) / 2,
                   width + window->window_width - window->client_width,
                   height + window->window_height - window->client_height);
}

void os_center_window(OsWindow *window) {
    // The table is taken even for a closed window, as the first user of it.
    OsMonitor *monitor = os_get_main_monitor();
    if (!os_w32_open_handle(window) || !monitor) return;
    os_move_window(window, monitor->work_width / 2 - window->window_width / 2,
                   monitor->work_height / 2 - window->window_height / 2, window->window_width,
                   window->window_height);
}

void os_flash_window(OsWindow *window) {
    HWND handle = os_w32_open_handle(window);
    if (!handle) return;
    FLASHWINFO flash = {};
    flash.cbSize = sizeof flash;
    flash.hwnd = handle;
    flash.dwFlags = FLASHW_TIMERNOFG; // 0x0C
    flash.uCount = 1;
    FlashWindowEx(&flash);
}

void os_set_window_topmost(OsWindow *window, bool on) {
    HWND handle = os_w32_open_handle(window);
    if (!handle || ((window->flags & OS_WINDOW_TOPMOST) != 0) == on) return;
    window->flags ^= OS_WINDOW_TOPMOST;
    // Without NOACTIVATE the call also activates the window and takes the
    // keyboard focus from whatever the user is typing into.
    SetWindowPos(handle, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void os_set_window_decorated(OsWindow *window, bool decorated) {
    HWND handle = os_w32_open_handle(window);
    if (!handle) return;
    bool borderless = (window->flags & OS_WINDOW_BORDERLESS) != 0;
    if (decorated != borderless) return;
    window->flags ^= OS_WINDOW_BORDERLESS;

    OsWindow old = *window;
    u32 style = 0, extended = 0;
    os_w32_window_styles(window->flags, &style, &extended);
    // The flags tell how the window was created; whether it is shown,
    // minimised or maximised now is the window's own state, kept as it is.
    const u32 state = WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE | WS_DISABLED;
    style = (style & ~state) | ((u32)GetWindowLongW(handle, GWL_STYLE) & state);
    SetWindowLongW(handle, GWL_STYLE, (LONG)style);
    // The frame change sends the move and size messages that refresh the record.
    SetWindowPos(handle, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    if (decorated) {
        RECT rect = {0, 0, old.client_width, old.client_height};
        AdjustWindowRectEx(&rect, style, FALSE, extended);
        MoveWindow(handle, old.client_x + old.window_x - window->client_x,
                   old.client_y + old.window_y - window->client_y, rect.right - rect.left,
                   rect.bottom - rect.top, FALSE);
    } else {
        MoveWindow(handle, old.client_x, old.client_y, old.client_width, old.client_height, FALSE);
    }
}

void os_toggle_window_fullscreen(OsWindow *window) {
    if (!os_w32_open_handle(window)) return;
    os_diagnostic("* TODO * os_toggle_window_fullscreen\n");
}
