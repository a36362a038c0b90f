// System-wide hotkeys: RegisterHotKey on the window, WM_HOTKEY in its
// window procedure (events.cpp).
#include "os_w32_window.h"

#ifndef MOD_NOREPEAT
#define MOD_NOREPEAT 0x4000
#endif

i32 os_register_hotkey(OsWindow *window, i32 id, u8 modifiers, u16 key) {
    if (!window || !(window->flags & OS_WINDOW_OPEN)) return OS_HOTKEY_REFUSED;
    HWND handle = (HWND)window->handle;
    UnregisterHotKey(handle, id);
    UINT flags = (UINT)(modifiers & (OS_HOTKEY_ALT | OS_HOTKEY_CTRL | OS_HOTKEY_SHIFT | OS_HOTKEY_WIN));
    if (RegisterHotKey(handle, id, flags | MOD_NOREPEAT, key)) return OS_HOTKEY_REGISTERED;
    os_capture_last_error();
    return os_last_error_code() == ERROR_HOTKEY_ALREADY_REGISTERED ? OS_HOTKEY_TAKEN : OS_HOTKEY_REFUSED;
}

void os_unregister_hotkey(OsWindow *window, i32 id) {
    if (window && (window->flags & OS_WINDOW_OPEN)) UnregisterHotKey((HWND)window->handle, id);
}
