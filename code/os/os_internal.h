// Shared between os_common.cpp and the backends; never included by the application.
#pragma once

#include "os.h"

// One write of up to `length` bytes to whatever is standard output right now;
// failures are ignored.
void os_platform_write_stdout(const char *bytes, i32 length);

// Raw-mouse registration of one window, switched by focus and by
// os_enable_raw_mouse / os_disable_raw_mouse.
void os_platform_raw_mouse_on(OsWindow *window);
void os_platform_raw_mouse_off(OsWindow *window);

// A new NUL-terminated heap copy of length bytes; {0, null} when out of memory.
StrSlice os_string_copy(const char *bytes, i64 length);

// The library's own diagnostics ("* ERROR * ...", "* WARNING * ..."). They go
// through the same unbuffered path as os_print, so the two keep their order
// and nothing is lost in a stdio buffer when the process is killed.
void os_diagnostic(const char *format, ...);

// Sets the standard-output console's text colour from a 4-bit console
// attribute (bit 0 blue, 1 green, 2 red, 3 intensity).
void os_platform_console_color(u8 attribute);

// Splits a command line into arguments the way the Windows C runtime builds
// argv: the program name ends at white space outside quotes, quotes toggle
// and backslashes are plain there; in the arguments 2n backslashes before a
// quote give n and the quote toggles grouping, 2n+1 give n and a literal
// quote, other backslashes are plain, and "" inside a group is a literal
// quote. One heap block (free with os_free): a null-terminated pointer array
// followed by the texts; *count gets the number of arguments.
char **os_split_command_line(const char *command_line, i32 *count);

// The window list behind os_get_windows, shared by both backends. Add after
// the native window exists; remove keeps the order of the others; find
// compares OsWindow.handle and gives null for an unknown handle.
void os_window_list_add(OsWindow *window);
void os_window_list_remove(OsWindow *window);
OsWindow *os_window_list_find(void *handle);

// Makes room for one more item in a heap array that doubles (first_capacity
// items at first): true when items[count] may be written. On failure the
// array is left as it was.
bool os_array_reserve(void **items, i32 *capacity, i32 count, u32 item_size, i32 first_capacity);

// The monitor table (os_get_monitors and os_get_main_monitor are shared).
// The backend's enumeration adds every monitor it finds, then commits; a
// table like the published one is dropped, so what callers hold stays
// current, and a changed one is published beside the earlier tables, which
// stay allocated until exit.
void os_platform_enumerate_monitors(void);
OsMonitor *os_monitor_table_add(void); // zeroed; null when out of memory
void os_monitor_table_commit(void);

// The monitor enumeration's fallbacks, the same on both platforms: a refresh
// rate below 2 becomes 60, a size below 1 comes from the enumeration's
// rectangle; each with its warning line.
void os_monitor_fallbacks(OsMonitor *monitor, i32 rect_width, i32 rect_height);

// The input lists' growth: a full list's capacity doubles while that stays at
// most 0x7FFFFF entries, otherwise grows by 0x400000, until it exceeds count.
// 0 when no such capacity fits in 32 bits.
u32 os_input_grow_capacity(u32 capacity, u32 count);

// One injected key press or release of a virtual key, unfiltered (typing
// needs keys that os_send_key_down refuses). Per backend.
void os_platform_inject_key(u16 key, bool down);

// The crash description for an exception code: "NAME -> sentence" for the
// 21 known codes, else "UNKNOWN". Static text.
const char *os_exception_description(u32 code);
