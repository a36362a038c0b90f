// Platform-neutral library code: formatting and printing over stb_sprintf,
// the calendar conversion and the clock arithmetic.
#include "os_internal.h"

#include <stdio.h>
#include <string.h>

#define STB_SPRINTF_MIN 1024
// Its word-at-a-time copies store to unaligned addresses, undefined
// behaviour that the sanitized tests report; the byte copies are the same.
#define STB_SPRINTF_NOUNALIGNED
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

// The log: a copy of standard output with a time on every line. The file is
// held open and written without a buffer, so nothing is lost when the
// process is killed, and no name is looked up again after the start: a link
// planted there later redirects nothing.
enum { OS_LOG_LIMIT = 1 << 20, OS_LOG_PATH_CAPACITY = 1024, OS_LOG_STAMP_CAPACITY = 32 };
static char os_log_path[OS_LOG_PATH_CAPACITY];
static char os_log_kept_path[OS_LOG_PATH_CAPACITY + 2];
static OsHandle os_log_file = OS_NO_FILE;
static i64 os_log_size;
static i64 os_log_rotate_at;
static bool os_log_at_line_start = true;

static StrSlice os_log_slice(char *path) { return StrSlice{(i64)strlen(path), path}; }

static void os_log_close(void) {
    if (os_log_file != OS_NO_FILE) os_platform_log_close(os_log_file);
    os_log_file = OS_NO_FILE;
}

// Keeps the current file as the ".1" file and starts a new one. When it
// cannot be moved, the log goes on at its end rather than lose its lines.
static bool os_log_restart(void) {
    os_log_close();
    bool moved = os_replace_file(os_log_slice(os_log_path), os_log_slice(os_log_kept_path)) == 0;
    os_log_size = 0;
    os_log_file = os_platform_log_open(os_log_path, !moved, &os_log_size);
    os_log_rotate_at = os_log_size + OS_LOG_LIMIT;
    os_log_at_line_start = true;
    return os_log_file != OS_NO_FILE;
}

bool os_set_log_file(StrSlice path) {
    os_log_close();
    if (!path.data || path.length < 1 || path.length >= OS_LOG_PATH_CAPACITY) return false;
    memcpy(os_log_path, path.data, (size_t)path.length);
    os_log_path[path.length] = 0;
    memcpy(os_log_kept_path, path.data, (size_t)path.length);
    memcpy(os_log_kept_path + path.length, ".1", 3);
    return os_log_restart();
}

static void os_log_append(const char *bytes, i32 length) {
    if (length < 1) return;
    if (os_log_size + length > os_log_rotate_at) os_log_restart();
    if (os_log_file != OS_NO_FILE && os_platform_log_write(os_log_file, bytes, (u32)length)) os_log_size += length;
}

static void os_log_write(const char *bytes, i32 length) {
    if (os_log_file == OS_NO_FILE) return;
    // Gathered so a piece of many short lines is still one or two writes.
    char out[STB_SPRINTF_MIN + 256];
    i32 used = 0;
    for (i32 i = 0; i < length; i++) {
        if (os_log_at_line_start) {
            if (used + OS_LOG_STAMP_CAPACITY > (i32)sizeof out) {
                os_log_append(out, used);
                used = 0;
            }
            OsDateTime t = os_local_time();
            used += os_format(out + used, OS_LOG_STAMP_CAPACITY, "%04i-%02i-%02i %02i:%02i:%02i.%03i ", t.year,
                              t.month, t.day, t.hour, t.minute, t.second, (i32)(t.microsecond / 1000));
            os_log_at_line_start = false;
        }
        if (used == (i32)sizeof out) {
            os_log_append(out, used);
            used = 0;
        }
        out[used++] = bytes[i];
        if (bytes[i] == '\n') os_log_at_line_start = true;
    }
    os_log_append(out, used);
}

static char *os_print_flush(const char *buffer, void *user, int length) {
    if (length > 0) {
        os_platform_write_stdout(buffer, length);
        os_log_write(buffer, length);
    }
    return (char *)user;
}

static char *os_log_flush(const char *buffer, void *user, int length) {
    os_log_write(buffer, length);
    return (char *)user;
}

void os_log(const char *format, ...) {
    if (os_log_file == OS_NO_FILE) return;
    char buffer[STB_SPRINTF_MIN];
    va_list args;
    va_start(args, format);
    stbsp_vsprintfcb(os_log_flush, buffer, buffer, format, args);
    va_end(args);
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

i32 os_pixel_capacity(i32 width, i32 height) {
    // The largest power of two an i32 holds; anything bigger has no buffer.
    const i64 largest = (i64)1 << 30;
    if (width < 0 || height < 0 || (height > 0 && width > largest / 4 / height)) return 0;
    i64 needed = (i64)width * height * 4;
    i64 capacity = 1;
    while (capacity < needed) capacity *= 2;
    return (i32)capacity;
}

bool os_pixel_buffer_refused(const OsWindow *window, i32 capacity) {
    static bool said;
    if (capacity > 0) return false;
    if (!said)
        os_diagnostic("* WARNING * No pixel buffer for a %i x %i window; it keeps its old one.\n",
                      window->client_width, window->client_height);
    said = true;
    return true;
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

StrSlice os_string_copy(const char *bytes, i64 length) {
    char *copy = (char *)os_alloc((u32)length + 1);
    if (!copy) return StrSlice{0, nullptr};
    memcpy(copy, bytes, (size_t)length);
    copy[length] = 0;
    return StrSlice{length, copy};
}

static StrSlice os_exe_folder_text, os_exe_name_text;

// Cuts the executable's path once into its folder (with the "/") and name.
static void os_exe_path_split(void) {
    char path[OS_EXE_PATH_CAPACITY];
    i32 length = os_platform_exe_path(path, (i32)sizeof path);
    const char *slash = length ? strrchr(path, '/') : nullptr;
    if (!slash) return;
    if (!os_exe_folder_text.data) os_exe_folder_text = os_string_copy(path, (i64)(slash - path) + 1);
    if (!os_exe_name_text.data) os_exe_name_text = os_string_copy(slash + 1, (i64)strlen(slash + 1));
}

StrSlice os_exe_folder(void) {
    if (!os_exe_folder_text.data) os_exe_path_split();
    return os_exe_folder_text;
}

StrSlice os_exe_name(void) {
    if (!os_exe_name_text.data) os_exe_path_split();
    return os_exe_name_text;
}

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

static bool os_path_separator(char c, bool windows) { return c == '/' || (windows && c == '\\'); }

// From at, past one path component and the separator after it (if any).
static i64 os_path_skip_component(StrSlice path, i64 at, bool windows) {
    while (at < path.length && !os_path_separator(path.data[at], windows)) at++;
    return at < path.length ? at + 1 : at;
}

i64 os_path_root_length(StrSlice path, bool windows) {
    if (!path.data || path.length < 1) return 0;
    const char *p = path.data;
    i64 n = path.length;
    if (!windows) return p[0] == '/' ? 1 : 0;
    bool drive_letter = n >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
    if (drive_letter) return n >= 3 && os_path_separator(p[2], true) ? 3 : 2;
    if (!os_path_separator(p[0], true)) return 0;
    if (n < 2 || !os_path_separator(p[1], true)) return 1;
    // "//?/" and "//./": a device prefix, then a drive, "UNC/server/share/"
    // or one device name ("Volume{...}/", "pipe/").
    if (n >= 4 && (p[2] == '?' || p[2] == '.') && os_path_separator(p[3], true)) {
        i64 at = 4;
        if (n - at >= 2 && p[at + 1] == ':') return n - at >= 3 && os_path_separator(p[at + 2], true) ? at + 3 : at + 2;
        if (n - at >= 4 && (p[at] == 'U' || p[at] == 'u') && (p[at + 1] == 'N' || p[at + 1] == 'n') &&
            (p[at + 2] == 'C' || p[at + 2] == 'c') && os_path_separator(p[at + 3], true))
            return os_path_skip_component(path, os_path_skip_component(path, at + 4, true), true);
        return os_path_skip_component(path, at, true);
    }
    // "//server/share/": both names belong to the root.
    return os_path_skip_component(path, os_path_skip_component(path, 2, true), true);
}

i32 os_make_directories(StrSlice path) {
    if (!path.data || path.length <= 0) return 1;
    StrSlice copy = os_string_copy(path.data, path.length);
    if (!copy.data) return 1;
    bool windows = os_platform_windows_paths;
    // Each prefix that ends before a separator is made in turn, from the
    // first one past the root: "//server" or "//?" are no folders to create.
    i64 root = os_path_root_length(copy, windows);
    i32 result = 0;
    for (i64 i = root > 0 ? root : 1; i <= copy.length && result == 0; ++i) {
        if (i < copy.length && !os_path_separator(copy.data[i], windows)) continue;
        if (os_path_separator(copy.data[i - 1], windows)) continue; // "a//b", or right after the root
        char kept = copy.data[i];
        copy.data[i] = 0;
        result = os_make_directory(StrSlice{i, copy.data});
        copy.data[i] = kept;
    }
    os_free_string(&copy);
    // os_make_directory takes any existing entry; a file of that name is no
    // directory, and a root alone was never asked about.
    if (result == 0 && (os_file_exists(path) || !os_path_exists(path))) result = 1;
    return result;
}

bool os_program_on_path(StrSlice name) {
    StrSlice found = os_program_path(name);
    bool there = found.data != nullptr;
    os_free_string(&found);
    return there;
}

bool os_instance_name_valid(StrSlice name) {
    if (!name.data || name.length < 1 || name.length > 64) return false;
    for (i64 i = 0; i < name.length; i++) {
        char c = name.data[i];
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                     c == '_' || c == '-';
        if (!plain) return false;
    }
    return true;
}

// The name this process holds, empty before its claim.
static char os_instance_held[65];

i32 os_instance_claim(StrSlice name) {
    if (!os_instance_name_valid(name)) return OS_INSTANCE_FAILED;
    if (os_instance_held[0]) {
        bool same = strlen(os_instance_held) == (size_t)name.length &&
                    memcmp(os_instance_held, name.data, (size_t)name.length) == 0;
        return same ? OS_INSTANCE_CLAIMED : OS_INSTANCE_FAILED;
    }
    i32 result = os_platform_instance_claim(name);
    if (result == OS_INSTANCE_CLAIMED) {
        memcpy(os_instance_held, name.data, (size_t)name.length);
        os_instance_held[name.length] = 0;
    }
    return result;
}

i32 os_instance_send(StrSlice name, StrSlice text) {
    if (!os_instance_name_valid(name) || !text.data || text.length < 1 || text.length > OS_INSTANCE_MESSAGE_CAPACITY)
        return OS_INSTANCE_NOT_DELIVERED;
    return os_platform_instance_send(name, text);
}

static OsWindow **os_windows;
static i32 os_window_count;
static i32 os_window_capacity;

void os_window_list_add(OsWindow *window) {
    if (!os_array_reserve((void **)&os_windows, &os_window_capacity, os_window_count, sizeof(OsWindow *), 4)) return;
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

bool os_array_reserve(void **items, i32 *capacity, i32 count, u32 item_size, i32 first_capacity) {
    if (count < *capacity) return true;
    i64 grown = *capacity ? (i64)*capacity * 2 : first_capacity;
    if (grown <= count || grown * item_size > 0x7FFFFFFF) return false;
    u32 size = (u32)(grown * item_size);
    void *block = *items ? os_realloc(*items, size) : os_alloc(size);
    if (!block) return false;
    *items = block;
    *capacity = (i32)grown;
    return true;
}

//~ Monitor table

struct OsMonitorTable {
    OsMonitor *records;
    i32 count;
    i32 capacity;
};

// The published table and the one being enumerated. A published table is
// never freed or changed: callers may keep its records and names.
static OsMonitorTable os_monitors_published, os_monitors_fresh;
static bool os_monitors_enumerated;

static void os_monitor_table_clear(OsMonitorTable *table) {
    for (i32 i = 0; i < table->count; i++) os_free(table->records[i].name.data);
    table->count = 0;
}

OsMonitor *os_monitor_table_add(void) {
    OsMonitorTable *t = &os_monitors_fresh;
    if (!os_array_reserve((void **)&t->records, &t->capacity, t->count, sizeof(OsMonitor), 8)) return nullptr;
    OsMonitor *monitor = &t->records[t->count++];
    memset(monitor, 0, sizeof *monitor);
    return monitor;
}

static bool os_monitor_same(const OsMonitor *a, const OsMonitor *b) {
    return a->flags == b->flags && a->work_x == b->work_x && a->work_y == b->work_y &&
           a->work_width == b->work_width && a->work_height == b->work_height && a->x == b->x && a->y == b->y &&
           a->width == b->width && a->height == b->height && a->refresh_rate == b->refresh_rate &&
           a->handle == b->handle && a->name.length == b->name.length &&
           (a->name.length == 0 || memcmp(a->name.data, b->name.data, (size_t)a->name.length) == 0);
}

void os_monitor_table_commit(void) {
    OsMonitorTable *fresh = &os_monitors_fresh, *published = &os_monitors_published;
    os_monitors_enumerated = true;
    // Without a primary monitor the first one is, as on Windows where one
    // monitor always is.
    bool any_primary = false;
    for (i32 i = 0; i < fresh->count; i++) any_primary |= (fresh->records[i].flags & 1) != 0;
    if (fresh->count && !any_primary) fresh->records[0].flags |= 1;
    bool same = fresh->count == published->count;
    for (i32 i = 0; same && i < fresh->count; i++) same = os_monitor_same(&fresh->records[i], &published->records[i]);
    if (same && published->records) {
        os_monitor_table_clear(fresh); // its block is used again next time
        return;
    }
    // A changed layout: the earlier table stays allocated until exit, so a
    // record or name taken from it is still readable (with the old values).
    *published = *fresh;
    *fresh = OsMonitorTable{};
}

void os_get_monitors(i32 *count, OsMonitor **table) {
    os_platform_enumerate_monitors();
    if (count) *count = os_monitors_published.count;
    if (table) *table = os_monitors_published.records;
}

OsMonitor *os_get_main_monitor(void) {
    // Not uninitialised memory when the system reports no monitor at all.
    static OsMonitor none = {0, 0, 0, 0, 0, 0, 0, 0, 0, 60, {0, nullptr}, nullptr};
    if (!os_monitors_enumerated) os_platform_enumerate_monitors();
    return os_monitors_published.count ? os_monitors_published.records : &none;
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

//~ Input tracker

static InputTable *os_input;
static InputChangeList os_key_changes;
static InputChangeList os_axis_changes;

InputTable *os_input_table(void) { return os_input; }
InputChangeList *os_input_key_changes(void) { return os_input ? &os_key_changes : nullptr; }
InputChangeList *os_input_axis_changes(void) { return os_input ? &os_axis_changes : nullptr; }

u32 os_input_grow_capacity(u32 capacity, u32 count) {
    u64 grown = capacity ? capacity : 1;
    while (grown <= count) grown = grown * 2 <= 0x7FFFFF ? grown * 2 : grown + 0x400000;
    // The block is capacity * 2 bytes in a 32-bit allocation size.
    return grown * sizeof(u16) > 0xFFFFFFFFull ? 0 : (u32)grown;
}

static void os_input_list_append(InputChangeList *list, u16 slot) {
    if (list->count >= list->capacity) {
        u32 capacity = os_input_grow_capacity(list->capacity, list->count);
        u16 *grown = capacity ? (u16 *)os_realloc(list->slots, capacity * (u32)sizeof(u16)) : nullptr;
        if (!grown) return;
        list->slots = grown;
        list->capacity = capacity;
    }
    list->slots[list->count++] = slot;
}

static bool os_input_create(void) {
    os_input = (InputTable *)os_alloc_zeroed((u32)sizeof(InputTable));
    if (!os_input) return false;
    for (u16 i = OS_MOUSE_LEFT; i <= OS_INPUT_WHEEL; i++)
        os_input->slots[i].linked_data = os_input->slots[OS_INPUT_MOUSE_POSITION].press_data;
    for (u16 i = 265; i <= 268; i++) os_input->slots[i].linked_data = os_input->slots[269].press_data;
    os_key_changes.capacity = 32;
    os_key_changes.slots = (u16 *)os_alloc(32 * sizeof(u16));
    os_axis_changes.capacity = 64;
    os_axis_changes.slots = (u16 *)os_alloc(64 * sizeof(u16));
    if (!os_key_changes.slots) os_key_changes.capacity = 0;
    if (!os_axis_changes.slots) os_axis_changes.capacity = 0;
    return true;
}

static void os_input_press(u16 code, f32 x, f32 y) {
    InputSlot *slot = &os_input->slots[code];
    slot->changes |= slot->value != 0.0f ? INPUT_REPEATED : INPUT_PRESSED;
    slot->event_count++;
    slot->press_data[0] = x;
    slot->press_data[1] = y;
    slot->value = 1.0f;
    slot->press_time = (u64)os_time_microseconds();
    os_input_list_append(&os_key_changes, code);
}

static void os_input_release(u16 code, f32 x, f32 y) {
    InputSlot *slot = &os_input->slots[code];
    slot->changes |= INPUT_RELEASED;
    slot->event_count++;
    slot->release_data[0] = x;
    slot->release_data[1] = y;
    slot->value = 0.0f;
    slot->release_time = (u64)os_time_microseconds();
    os_input_list_append(&os_key_changes, code);
}

static void os_input_axis(u16 code, f32 x, f32 y) {
    InputSlot *slot = &os_input->slots[code];
    slot->previous_data[0] = slot->press_data[0];
    slot->previous_data[1] = slot->press_data[1];
    slot->changes |= INPUT_PRESSED;
    slot->event_count++;
    slot->press_data[0] = x;
    slot->press_data[1] = y;
    slot->press_time = (u64)os_time_microseconds();
    os_input_list_append(&os_axis_changes, code);
}

void os_input_track_event(OsEvent *event) {
    if (!event) return;
    if (!os_input && !os_input_create()) return;
    switch (event->kind) {
    case OS_EVENT_MOUSE_MOVE:
        os_input_axis(OS_INPUT_MOUSE_POSITION, (f32)event->mouse.x, (f32)event->mouse.y);
        break;
    case OS_EVENT_MOUSE_WHEEL:
        os_input_axis(OS_INPUT_WHEEL, 0.0f, (f32)event->wheel.notches);
        break;
    case OS_EVENT_MOUSE_BUTTON: {
        u16 code = event->button.code;
        // Codes come from the backends; anything outside the table is dropped
        // rather than written past it.
        if (code < OS_MOUSE_LEFT || code > OS_MOUSE_RIGHT) break;
        f32 x = (f32)event->button.x, y = (f32)event->button.y;
        if (event->button.state == OS_BUTTON_UP) os_input_release(code, x, y);
        else os_input_press(code, x, y);
    } break;
    case OS_EVENT_KEY:
    case OS_EVENT_KEY_REPEAT:
        if (event->key.code > 255) break;
        if (event->key.pressed) os_input_press(event->key.code, 0.0f, 0.0f);
        else os_input_release(event->key.code, 0.0f, 0.0f);
        break;
    default:
        break;
    }
}

//~ Synthetic keys

static bool os_key_injectable(u16 key) {
    return key == 9 || key == 13 || (key >= 16 && key <= 18) || key == 20 || key == 27 ||
           (key >= 32 && key <= 40) || key == 45 || key == 46 || (key >= 48 && key <= 57) ||
           (key >= 65 && key <= 90) || key == 91 || (key >= 96 && key <= 105) || key == 144 || key == 145 ||
           (key >= 187 && key <= 191) || key == 226;
}

void os_send_key_down(u16 key) {
    if (os_key_injectable(key)) os_platform_inject_key(key, true);
}

void os_send_key_up(u16 key) {
    if (os_key_injectable(key)) os_platform_inject_key(key, false);
}

enum : u8 { OS_TYPE_SHIFT = 1, OS_TYPE_ALTGR = 2, OS_TYPE_DEAD = 4 };

// The virtual keys typing holds or taps besides the symbols' own; AltGr is
// Ctrl + Alt, as Windows injects it.
enum : u16 { OS_KEY_SHIFT = 0x10, OS_KEY_CONTROL = 0x11, OS_KEY_ALT = 0x12, OS_KEY_SPACE = 0x20 };

struct OsTypedSymbol {
    char character;
    u8 key;
    u8 how; // OS_TYPE_*
};

// Swedish/Finnish layout: where each symbol lives and what it needs.
static const OsTypedSymbol os_typed_symbols[] = {
    {'\t', 0x09, 0},
    {'\n', 0x0D, 0},
    {' ', 0x20, 0},
    {'!', 0x31, OS_TYPE_SHIFT},
    {'"', 0x32, OS_TYPE_SHIFT},
    {'#', 0x33, OS_TYPE_SHIFT},
    {'$', 0x34, OS_TYPE_ALTGR},
    {'%', 0x35, OS_TYPE_SHIFT},
    {'&', 0x36, OS_TYPE_SHIFT},
    {'\'', 0xBF, 0},
    {'(', 0x38, OS_TYPE_SHIFT},
    {')', 0x39, OS_TYPE_SHIFT},
    {'*', 0xBF, OS_TYPE_SHIFT},
    {'+', 0xBB, 0},
    {',', 0xBC, 0},
    {'-', 0xBD, 0},
    {'.', 0xBE, 0},
    {'/', 0x37, OS_TYPE_SHIFT},
    {':', 0xBE, OS_TYPE_SHIFT},
    {';', 0xBC, OS_TYPE_SHIFT},
    {'<', 0xE2, 0},
    {'=', 0x30, OS_TYPE_SHIFT},
    {'>', 0xE2, OS_TYPE_SHIFT},
    {'?', 0xBB, OS_TYPE_SHIFT},
    {'@', 0x32, OS_TYPE_ALTGR},
    {'[', 0x38, OS_TYPE_ALTGR},
    {'\\', 0xBB, OS_TYPE_ALTGR},
    {']', 0x39, OS_TYPE_ALTGR},
    {'^', 0xBA, OS_TYPE_SHIFT | OS_TYPE_DEAD},
    {'_', 0xBD, OS_TYPE_SHIFT},
    {'`', 0xDB, OS_TYPE_SHIFT | OS_TYPE_DEAD},
    {'{', 0x37, OS_TYPE_ALTGR},
    {'|', 0xE2, OS_TYPE_ALTGR},
    {'}', 0x30, OS_TYPE_ALTGR},
    {'~', 0xBA, OS_TYPE_ALTGR | OS_TYPE_DEAD},
};

static void os_tap_key(u16 key) {
    os_platform_inject_key(key, true);
    os_platform_inject_key(key, false);
}

void os_send_text(const char *text) {
    if (!text) return;
    bool shift_held = false, altgr_held = false;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        u8 c = *p, key = 0, how = 0;
        if (c >= 'a' && c <= 'z') key = (u8)(c - 32);
        else if (c >= 'A' && c <= 'Z') key = c, how = OS_TYPE_SHIFT;
        else if (c >= '0' && c <= '9') key = c;
        else if (c >= 9 && c <= 126)
            for (const OsTypedSymbol &symbol : os_typed_symbols)
                if ((u8)symbol.character == c) key = symbol.key, how = symbol.how;

        bool shift = (how & OS_TYPE_SHIFT) != 0, altgr = (how & OS_TYPE_ALTGR) != 0;
        if (shift != shift_held) {
            os_platform_inject_key(OS_KEY_SHIFT, shift);
            shift_held = shift;
        }
        if (altgr && !altgr_held) {
            os_platform_inject_key(OS_KEY_CONTROL, true);
            os_platform_inject_key(OS_KEY_ALT, true);
        } else if (!altgr && altgr_held) {
            os_platform_inject_key(OS_KEY_CONTROL, false);
            os_platform_inject_key(OS_KEY_ALT, false);
        }
        altgr_held = altgr;
        if (key) os_tap_key(key);
        if (how & OS_TYPE_DEAD) {
            os_tap_key(OS_KEY_SPACE);
            if (shift_held) os_platform_inject_key(OS_KEY_SHIFT, false);
            if (altgr) {
                os_platform_inject_key(OS_KEY_CONTROL, false);
                os_platform_inject_key(OS_KEY_ALT, false);
            }
            shift_held = altgr_held = false;
        }
    }
    if (shift_held) os_platform_inject_key(OS_KEY_SHIFT, false);
    if (altgr_held) {
        os_platform_inject_key(OS_KEY_CONTROL, false);
        os_platform_inject_key(OS_KEY_ALT, false);
    }
}

//~ Crash descriptions

struct OsExceptionText {
    u32 code;
    const char *text;
};

static const OsExceptionText os_exception_texts[] = {
    {OS_EXCEPTION_ACCESS_VIOLATION, "EXCEPTION_ACCESS_VIOLATION -> The thread tried to read or write memory it has no access to."},
    {OS_EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED -> The thread used an array index outside the bounds the hardware checks."},
    {OS_EXCEPTION_BREAKPOINT, "EXCEPTION_BREAKPOINT -> A breakpoint was encountered."},
    {OS_EXCEPTION_DATATYPE_MISALIGNMENT, "EXCEPTION_DATATYPE_MISALIGNMENT -> The thread read or wrote data at an address not aligned for its size."},
    {OS_EXCEPTION_FLT_DENORMAL_OPERAND, "EXCEPTION_FLT_DENORMAL_OPERAND -> A floating-point operand was too small to be stored in normal form."},
    {OS_EXCEPTION_FLT_DIVIDE_BY_ZERO, "EXCEPTION_FLT_DIVIDE_BY_ZERO -> A floating-point value was divided by zero."},
    {OS_EXCEPTION_FLT_INEXACT_RESULT, "EXCEPTION_FLT_INEXACT_RESULT -> A floating-point result could not be represented exactly."},
    {OS_EXCEPTION_FLT_INVALID_OPERATION, "EXCEPTION_FLT_INVALID_OPERATION -> A floating-point operation had no defined result."},
    {OS_EXCEPTION_FLT_OVERFLOW, "EXCEPTION_FLT_OVERFLOW -> A floating-point result was too large for its type."},
    {OS_EXCEPTION_FLT_STACK_CHECK, "EXCEPTION_FLT_STACK_CHECK -> The floating-point register stack overflowed or underflowed."},
    {OS_EXCEPTION_FLT_UNDERFLOW, "EXCEPTION_FLT_UNDERFLOW -> A floating-point result was too small for its type."},
    {OS_EXCEPTION_ILLEGAL_INSTRUCTION, "EXCEPTION_ILLEGAL_INSTRUCTION -> The thread tried to run an instruction that is not valid."},
    {OS_EXCEPTION_IN_PAGE_ERROR, "EXCEPTION_IN_PAGE_ERROR -> A page of memory could not be read in from its file or device."},
    {OS_EXCEPTION_INT_DIVIDE_BY_ZERO, "EXCEPTION_INT_DIVIDE_BY_ZERO -> An integer was divided by zero."},
    {OS_EXCEPTION_INT_OVERFLOW, "EXCEPTION_INT_OVERFLOW -> An integer result did not fit in its destination."},
    {OS_EXCEPTION_INVALID_DISPOSITION, "EXCEPTION_INVALID_DISPOSITION -> An exception handler gave the dispatcher an answer it does not know."},
    {OS_EXCEPTION_NONCONTINUABLE_EXCEPTION, "EXCEPTION_NONCONTINUABLE_EXCEPTION -> The thread tried to go on after an exception that forbids it."},
    {OS_EXCEPTION_PRIV_INSTRUCTION, "EXCEPTION_PRIV_INSTRUCTION -> The thread tried to run an instruction reserved for the system."},
    {OS_EXCEPTION_SINGLE_STEP, "EXCEPTION_SINGLE_STEP -> A trace trap reported that one instruction was run."},
    {OS_EXCEPTION_STACK_OVERFLOW, "EXCEPTION_STACK_OVERFLOW -> The thread used up its stack."},
};

const char *os_exception_description(u32 code) {
    for (const OsExceptionText &entry : os_exception_texts)
        if (entry.code == code) return entry.text;
    return "UNKNOWN";
}

void os_enable_raw_mouse(OsWindow *window) {
    if (!window || !(window->flags & OS_WINDOW_OPEN)) return;
    window->raw_input |= OS_RAW_MOUSE_WANTED;
    os_platform_raw_mouse_on(window);
}

void os_disable_raw_mouse(OsWindow *window) {
    if (!window || !(window->flags & OS_WINDOW_OPEN)) return;
    window->raw_input &= (u8)~OS_RAW_MOUSE_WANTED;
    if (window->raw_input & OS_RAW_MOUSE_ACTIVE) os_platform_raw_mouse_off(window);
}
