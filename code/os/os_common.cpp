// Platform-neutral library code: formatting and printing over stb_sprintf,
// the calendar conversion and the clock arithmetic.
#include "os_internal.h"

#include <stdio.h>
#include <string.h>

#define STB_SPRINTF_MIN 1024
#define STB_SPRINTF_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb_sprintf.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

i64 os_frequency = 1;

i64 os_ticks_to_microseconds(i64 ticks) {
    // Split into whole seconds and the remainder: the same truncated result
    // as ticks * 1e6 / frequency wherever that product fits in 64 bits, and
    // still right where it would not (after ~21 days at 10 MHz).
    u64 t = (u64)ticks;
    u64 f = (u64)os_frequency;
    return (i64)((t / f) * 1000000u + (t % f) * 1000000u / f);
}

i64 os_time_microseconds(void) { return os_ticks_to_microseconds(os_ticks()); }

i64 os_time_milliseconds(void) { return os_time_microseconds() / 1000; }

OsDateTime os_date_time_from_calendar(int year, int month, int day, int weekday0,
                                      int hour, int minute, int second, int millisecond) {
    OsDateTime t;
    t.year = (u16)year;
    t.month = (u8)month;
    t.day = (u8)day;
    t.weekday = (u8)(weekday0 == 0 ? 7 : weekday0);
    t.hour = (u8)hour;
    t.minute = (u8)minute;
    t.second = (u8)second;
    t.microsecond = (u32)millisecond * 1000u;
    return t;
}

void os_sleep_us(u32 microseconds) { os_sleep_ms((i32)(microseconds / 1000)); }

void os_sleep_s(i32 seconds) { os_sleep_ms(seconds * 1000); }

static char *os_print_flush(const char *buffer, void *user, int length) {
    if (length > 0) os_platform_write_stdout(buffer, length);
    return (char *)user;
}

void os_print_v(const char *format, va_list args) {
    char buffer[STB_SPRINTF_MIN];
    stbsp_vsprintfcb(os_print_flush, buffer, buffer, format, args);
}

void os_print(const char *format, ...) {
    va_list args;
    va_start(args, format);
    os_print_v(format, args);
    va_end(args);
}

i32 os_format_v(char *buffer, i32 capacity, const char *format, va_list args) {
    // stb_sprintf writes buffer[-1] when given a real buffer with count 0.
    if (!buffer || capacity < 1) return stbsp_vsnprintf(nullptr, 0, format, args);
    return stbsp_vsnprintf(buffer, capacity, format, args);
}

i32 os_format(char *buffer, i32 capacity, const char *format, ...) {
    va_list args;
    va_start(args, format);
    i32 length = os_format_v(buffer, capacity, format, args);
    va_end(args);
    return length;
}

void os_diagnostic(const char *format, ...) {
    va_list args;
    va_start(args, format);
    os_print_v(format, args);
    va_end(args);
}

void os_console_read_line(i32 capacity, char *buffer) {
    if (!buffer || capacity < 1) return;
    buffer[0] = 0;
    if (!fgets(buffer, capacity, stdin)) return;
    size_t length = strlen(buffer);
    if (length > 1 && buffer[length - 1] == '\n') buffer[length - 1] = 0;
}

void os_console_color_red(void) { os_platform_console_color(12); }
void os_console_color_green(void) { os_platform_console_color(10); }
void os_console_color_blue(void) { os_platform_console_color(9); }
void os_console_color_yellow(void) { os_platform_console_color(14); }
void os_console_color_cyan(void) { os_platform_console_color(11); }
void os_console_color_magenta(void) { os_platform_console_color(13); }
void os_console_color_default(void) { os_platform_console_color(7); }
void os_console_color_white(void) { os_platform_console_color(15); }

void os_window_styles_from_flags(u16 flags, u32 *style, u32 *extended_style) {
    if (flags & (OS_WINDOW_AT_ORIGIN | OS_WINDOW_BORDERLESS)) *style = 0x80000000u;
    else if (flags & OS_WINDOW_FIXED_SIZE) *style = 0x00CB0000u;
    else *style = 0x00CF0000u;
    if (flags & OS_WINDOW_TOPMOST) *extended_style |= 0x00000008u;
    if (flags & OS_WINDOW_APP_WINDOW) *extended_style |= 0x00040000u;
    if (flags & OS_WINDOW_TOOL) *extended_style |= 0x00000080u;
    if (flags & OS_WINDOW_HIDDEN) *style &= ~0x10000000u;
    else *style |= 0x10000000u;
    if (flags & OS_WINDOW_LAYERED) *extended_style |= 0x00080000u;
    if (flags & OS_WINDOW_TRANSPARENT) *extended_style |= 0x00000020u;
}

i32 os_pixel_capacity(i32 width, i32 height) {
    i64 needed = (i64)width * height * 4;
    i64 capacity = 1;
    while (capacity < needed) capacity *= 2;
    return (i32)capacity;
}

char **os_split_command_line(const char *command_line, i32 *count) {
    const char *p = command_line ? command_line : "";
    size_t length = strlen(p);
    // Every argument but the last takes at least one byte and one separator,
    // and no argument is longer than its source text.
    size_t max_arguments = length / 2 + 2;
    size_t pointer_bytes = (max_arguments + 1) * sizeof(char *);
    char **argv = (char **)os_alloc((u32)(pointer_bytes + length + max_arguments + 1));
    if (!argv) {
        *count = 0;
        return nullptr;
    }
    char *out = (char *)argv + pointer_bytes;
    i32 n = 0;

    while (*p == ' ' || *p == '\t') ++p;
    if (*p) {
        argv[n++] = out;
        bool in_quotes = false;
        while (*p && (in_quotes || (*p != ' ' && *p != '\t'))) {
            if (*p == '"') in_quotes = !in_quotes;
            else *out++ = *p;
            ++p;
        }
        *out++ = 0;
    }

    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        argv[n++] = out;
        bool in_quotes = false;
        for (;;) {
            bool copy = true;
            size_t backslashes = 0;
            while (*p == '\\') {
                ++p;
                ++backslashes;
            }
            if (*p == '"') {
                if (backslashes % 2 == 0) {
                    if (in_quotes && p[1] == '"') {
                        ++p;
                    } else {
                        copy = false;
                        in_quotes = !in_quotes;
                    }
                }
                backslashes /= 2;
            }
            while (backslashes--) *out++ = '\\';
            if (!*p || (!in_quotes && (*p == ' ' || *p == '\t'))) break;
            if (copy) *out++ = *p;
            ++p;
        }
        *out++ = 0;
    }
    argv[n] = nullptr;
    *count = n;
    return argv;
}

void os_free_file(StrSlice *file) {
    if (!file) return;
    if (file->data) os_free(file->data);
    file->length = 0;
    file->data = nullptr;
}

void os_free_string(StrSlice *string) { os_free_file(string); }

StrSlice os_exe_folder_join(const StrSlice *parts) {
    StrSlice folder = os_exe_folder();
    i64 total = folder.length;
    for (const StrSlice *part = parts; part && part->length > 0; ++part) total += part->length;
    char *joined = (char *)os_alloc((u32)total + 1);
    if (!joined) return StrSlice{0, nullptr};
    if (folder.length) memcpy(joined, folder.data, (size_t)folder.length);
    i64 at = folder.length;
    for (const StrSlice *part = parts; part && part->length > 0; ++part) {
        memcpy(joined + at, part->data, (size_t)part->length);
        at += part->length;
    }
    joined[at] = 0;
    return StrSlice{total, joined};
}

static OsWindow **os_windows;
static i32 os_window_count;
static i32 os_window_capacity;

void os_window_list_add(OsWindow *window) {
    if (os_window_count == os_window_capacity) {
        i32 capacity = os_window_capacity ? os_window_capacity * 2 : 4;
        u32 size = (u32)capacity * (u32)sizeof(OsWindow *);
        OsWindow **grown = (OsWindow **)(os_windows ? os_realloc(os_windows, size) : os_alloc(size));
        if (!grown) return;
        os_windows = grown;
        os_window_capacity = capacity;
    }
    os_windows[os_window_count++] = window;
}

void os_window_list_remove(OsWindow *window) {
    for (i32 i = 0; i < os_window_count; i++) {
        if (os_windows[i] != window) continue;
        memmove(os_windows + i, os_windows + i + 1, (size_t)(os_window_count - i - 1) * sizeof(OsWindow *));
        os_window_count--;
        return;
    }
}

OsWindow *os_window_list_find(void *handle) {
    for (i32 i = 0; i < os_window_count; i++)
        if (os_windows[i]->handle == handle) return os_windows[i];
    return nullptr;
}

void os_get_windows(i32 *count, i32 *capacity, OsWindow ***list) {
    if (count) *count = os_window_count;
    if (capacity) *capacity = os_window_capacity;
    if (list) *list = os_windows;
}

void os_monitor_fallbacks(OsMonitor *monitor, i32 rect_width, i32 rect_height) {
    if (monitor->refresh_rate < 2) {
        os_diagnostic("* WARNING * Failed to get monitor refresh rate. Defaulting to 60.\n");
        monitor->refresh_rate = 60;
    }
    if (monitor->width < 1 || monitor->height < 1) {
        monitor->width = rect_width;
        monitor->height = rect_height;
        if (monitor->width < 1 || monitor->height < 1) os_diagnostic("* WARNING * Failed to get monitor size.\n");
    }
}
