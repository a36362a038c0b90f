// The last-error slot and the console helpers.
#include "../os_internal.h"

#include <string.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// One slot per process, unlocked: concurrent captures overwrite each other.
static DWORD os_w32_error_code;
static char os_w32_error_text[512];

i32 os_capture_last_error(void) {
    os_w32_error_code = GetLastError();
    if (os_w32_error_code == 0) {
        os_w32_error_text[0] = 0;
        return 0;
    }
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, os_w32_error_code, 0x400, os_w32_error_text,
                                  sizeof os_w32_error_text, nullptr);
    os_w32_error_text[sizeof os_w32_error_text - 1] = 0;
    return (i32)length;
}

StrSlice os_last_error_text(void) {
    if (os_w32_error_code == 0) return StrSlice{0, nullptr};
    return StrSlice{(i64)strlen(os_w32_error_text), os_w32_error_text};
}

u32 os_last_error_code(void) { return os_w32_error_code; }

void os_platform_console_color(u8 attribute) {
    SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE), attribute);
}

void os_console_move(i32 x, i32 y) {
    HWND console = GetConsoleWindow();
    RECT r;
    if (!console || !GetWindowRect(console, &r)) return;
    MoveWindow(console, x, y, r.right - r.left, r.bottom - r.top, FALSE);
}

void os_console_set_height(i32 height) {
    HWND console = GetConsoleWindow();
    RECT r;
    if (!console || !GetWindowRect(console, &r)) return;
    MoveWindow(console, r.left, r.top, r.right - r.left, height, FALSE);
}

OsRect os_console_rect(void) {
    HWND console = GetConsoleWindow();
    RECT r;
    if (!console || !GetWindowRect(console, &r)) return OsRect{0, 0, 0, 0};
    return OsRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void os_console_flash(void) {
    HWND console = GetConsoleWindow();
    if (!console) return;
    FLASHWINFO info = {sizeof info, console, FLASHW_TIMERNOFG, 1, 0};
    FlashWindowEx(&info);
}

i16 os_console_read_key(void) {
    INPUT_RECORD record;
    DWORD count = 0;
    if (!ReadConsoleInputW(GetStdHandle(STD_INPUT_HANDLE), &record, 1, &count) || count == 0)
        return 0;
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return 0;
    return (i16)(i8)(record.Event.KeyEvent.uChar.UnicodeChar & 0xFF);
}

void os_console_move_cursor(i32 dx, i32 dy) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(out, &info)) return;
    i32 column = info.dwCursorPosition.X + dx;
    COORD to = {(SHORT)(column < 0 ? 0 : column), (SHORT)(info.dwCursorPosition.Y + dy)};
    SetConsoleCursorPosition(out, to);
}

i32 os_console_width(void) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}
