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

// The running executable's full path, UTF-8 with "/", NUL-terminated, into
// path; its length, 0 on failure. os_exe_folder and os_exe_name cut it.
enum : i32 { OS_EXE_PATH_CAPACITY = 4096 * 3 + 1 };
i32 os_platform_exe_path(char *path, i32 capacity);

// A new NUL-terminated heap copy of length bytes; {0, null} when out of memory.
StrSlice os_string_copy(const char *bytes, i64 length);

// The log's file, held open from os_set_log_file to its end; OS_NO_FILE when
// none. Opened new (exclusively: never through a link, never an existing
// file); only with `append`, an existing plain file of one link that is no
// link itself is opened at its end instead. *size gets the length it starts
// at. Writes take all the bytes or report false.
enum : OsHandle { OS_NO_FILE = -1 };
OsHandle os_platform_log_open(const char *path, bool append, i64 *size);
bool os_platform_log_write(OsHandle file, const void *bytes, u32 size);
void os_platform_log_close(OsHandle file);

// The length of the path's root, which os_make_directories never creates: "/"
// and, with Windows rules ("/" and "\\" alike), also a drive ("C:", "C:/"), a
// network share ("//server/share/") or a device prefix ("//?/C:/",
// "//?/UNC/server/share/", "//./pipe/"). 0 for a relative path. Pure, so
// both backends test both rules.
i64 os_path_root_length(StrSlice path, bool windows);
// Whether this backend's paths follow the Windows rules.
extern const bool os_platform_windows_paths;

// An instance name os_instance_claim takes: 1-64 bytes of A-Z a-z 0-9 . _ -.
bool os_instance_name_valid(StrSlice name);
// os_instance_claim and os_instance_send for a valid name (and text), the
// first claim of this process.
i32 os_platform_instance_claim(StrSlice name);
i32 os_platform_instance_send(StrSlice name, StrSlice text);

// The library's own diagnostics ("* ERROR * ...", "* WARNING * ..."). They go
// through the same unbuffered path as os_print, so the two keep their order
// and nothing is lost in a stdio buffer when the process is killed.
void os_diagnostic(const char *format, ...);
// True, with one warning per run, when a window's new size got no buffer
// (capacity 0); the caller then leaves the canvas as it was.
bool os_pixel_buffer_refused(const OsWindow *window, i32 capacity);

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

// The Windows exception codes the crash descriptions name (Linux maps its
// signals onto them).
enum : u32 {
    OS_EXCEPTION_ACCESS_VIOLATION = 0xC0000005u,
    OS_EXCEPTION_ARRAY_BOUNDS_EXCEEDED = 0xC000008Cu,
    OS_EXCEPTION_BREAKPOINT = 0x80000003u,
    OS_EXCEPTION_DATATYPE_MISALIGNMENT = 0x80000002u,
    OS_EXCEPTION_FLT_DENORMAL_OPERAND = 0xC000008Du,
    OS_EXCEPTION_FLT_DIVIDE_BY_ZERO = 0xC000008Eu,
    OS_EXCEPTION_FLT_INEXACT_RESULT = 0xC000008Fu,
    OS_EXCEPTION_FLT_INVALID_OPERATION = 0xC0000090u,
    OS_EXCEPTION_FLT_OVERFLOW = 0xC0000091u,
    OS_EXCEPTION_FLT_STACK_CHECK = 0xC0000092u,
    OS_EXCEPTION_FLT_UNDERFLOW = 0xC0000093u,
    OS_EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001Du,
    OS_EXCEPTION_IN_PAGE_ERROR = 0xC0000006u,
    OS_EXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094u,
    OS_EXCEPTION_INT_OVERFLOW = 0xC0000095u,
    OS_EXCEPTION_INVALID_DISPOSITION = 0xC0000026u,
    OS_EXCEPTION_NONCONTINUABLE_EXCEPTION = 0xC0000025u,
    OS_EXCEPTION_PRIV_INSTRUCTION = 0xC0000096u,
    OS_EXCEPTION_SINGLE_STEP = 0x80000004u,
    OS_EXCEPTION_STACK_OVERFLOW = 0xC00000FDu,
};

// The crash description for an exception code: "NAME -> sentence" for the
// known codes above, else "UNKNOWN". Static text.
const char *os_exception_description(u32 code);

// The system sound's stream (os.h), kept by the capture thread: stereo f32
// frames at OS_SOUND_RATE laid on the clock, position 0 being the moment the
// encoder opened the pipe.
struct OsSoundTimeline {
    f32 *pending;          // laid, not yet handed to the pipe; the caller allocates
    i64 pending_count;     // frames
    i64 pending_capacity;  // frames; what would pass it is dropped (an encoder that stopped reading)
    i64 laid;              // frames laid since the start: where the stream stands on the clock
    i64 silence;           // of those, silence
    i64 dropped;           // captured frames left out
};
// A packet this close to where the stream stands follows on directly: the
// capture times of a device's packets jitter, and drift of its clock against
// the counter is taken up once it passes this (20 ms).
enum : i64 { OS_SOUND_JITTER_FRAMES = OS_SOUND_RATE / 50 };
// Lays count frames (null: that many of silence, a packet the device marked
// silent) captured at clock position start: a gap before them becomes
// silence, an overlap with what is laid (or a start before 0) drops their
// first frames, and within the jitter they follow on directly.
void os_sound_timeline_lay(OsSoundTimeline *timeline, i64 start, const f32 *frames, i64 count);
// Lays silence up to clock position until; nothing when the stream is there.
void os_sound_timeline_fill(OsSoundTimeline *timeline, i64 until);
// Removes the first count pending frames (handed to the pipe).
void os_sound_timeline_take(OsSoundTimeline *timeline, i64 count);

// A device's sample format, converted to the stream's: 8/16/24/32-bit
// integers or 32-bit floats, any rate, any channels (a centre channel mixed
// into both sides at -3 dB, others beyond the first two left out).
struct OsSoundConverter {
    u32 rate;
    u16 channels;
    u16 bits;       // container bits per sample
    bool is_float;
    i8 centre;      // index of the front centre channel, -1 without one
    f64 phase;      // where the next output frame falls, in source frames after `previous`
    f32 previous[2];
};
// The converter for a format; phase and previous start the stream.
OsSoundConverter os_sound_converter(u32 rate, u16 channels, u16 bits, bool is_float, i8 centre);
// The most frames os_sound_convert makes of count source frames.
i64 os_sound_converted_capacity(const OsSoundConverter *converter, i64 count);
// Converts count frames at source into the stream's format at out (room for
// os_sound_converted_capacity), resampling by linear interpolation carried
// across calls. Returns the frames written.
i64 os_sound_convert(OsSoundConverter *converter, const u8 *source, i64 count, f32 *out);
