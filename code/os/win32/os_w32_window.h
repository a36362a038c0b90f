// Shared by the Windows backend's window files: the window procedure and the
// helpers that creation, events and window operations have in common.
#pragma once

#include "../os_internal.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The one window procedure of the library's window class.
LRESULT CALLBACK os_window_procedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam);

// Reads the outer rectangle, the client size and the client corner's screen
// position into the record.
void os_w32_refresh_geometry(OsWindow *window);

// os_platform_raw_mouse_on/off (os_internal.h) register the raw mouse with
// this window as the target, or remove the registration for every window.

// The system's 32-bit cursor table behind os_set_cursor; null until loaded.
extern HCURSOR *os_w32_cursors;

// The Windows style words for a flag word: overwrites *style, ORs bits into
// *extended_style.
void os_w32_window_styles(u16 flags, u32 *style, u32 *extended_style);

// Hands a text that came to the instance channel to the application
// (OS_EVENT_INSTANCE_MESSAGE, no window).
void os_w32_deliver_instance_message(char *text, i32 length);
