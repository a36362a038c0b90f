// The platform library: every operation the recorder needs from the operating
// system. Each banner says where its functions live: "Per platform" ones are
// written in code/os/win32/ and code/os/linux/ (posix/ or x11/) in the file
// named for the area; "Once" ones are written a single time in
// code/os/os_common.cpp (the system sound's stream in code/os/os_sound.cpp)
// for both (over small per-platform hooks in os_internal.h).
// The application includes only this header and the C/C++ standard headers.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

typedef int8_t i8;
typedef int16_t i16;
typedef int32_t i32;
typedef int64_t i64;
typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef uint64_t u64;
typedef float f32;
typedef double f64;

// A counted UTF-8 byte string; not necessarily NUL-terminated.
struct StrSlice {
    i64 length;
    char *data;
};

//~ Start-up

// Per platform (system.cpp).

// Reads the counter frequency and makes the process DPI aware (per monitor
// where Windows offers it). Call it first, before anything else: the log and
// any window come after. On Linux it first opens /dev/null onto each closed
// standard descriptor (0-2), so no file or display connection opened later
// becomes standard output and receives what is printed (Windows needs
// nothing: a closed standard handle is never reused). It also ignores
// SIGPIPE, so a write to a closed pipe (stdout or a child's stdin) fails
// instead of ending the process, and puts SIGCHLD back to its default, so
// children's exit codes can be read.
void os_init(void);

//~ Clock

// Per platform (system.cpp): os_frequency, os_ticks, the system and local
// times and os_sleep_ms. Once: the conversions, os_date_time_from_calendar,
// os_sleep_us and os_sleep_s.

// Counter ticks per second, set by os_init. Windows: the performance counter's
// frequency; Linux: 10 MHz over CLOCK_MONOTONIC.
extern i64 os_frequency;

struct OsDateTime {
    u16 year;
    u8 month;       // 1..12
    u8 day;         // 1..31
    u8 weekday;     // 1 = Monday .. 6 = Saturday, 7 = the day after Saturday
    u8 hour;
    u8 minute;
    u8 second;
    u32 microsecond; // the system's millisecond * 1000
};

i64 os_ticks(void);
// ticks * 1e6 / os_frequency, truncated. Exact for every non-negative tick
// count (not only below 2^64 / 1e6), so absolute values stay right after
// weeks of uptime.
i64 os_ticks_to_microseconds(i64 ticks);
i64 os_time_microseconds(void);
i64 os_time_milliseconds(void);
OsDateTime os_system_time(void); // UTC
OsDateTime os_local_time(void);
// Builds an OsDateTime from a calendar record whose weekday runs 0 (the day
// after Saturday), 1 = Monday .. 6 = Saturday. Shared by both backends.
OsDateTime os_date_time_from_calendar(int year, int month, int day, int weekday0,
                                      int hour, int minute, int second, int millisecond);

// All sleeps may end early (alertable on Windows, a signal on Linux) and
// report nothing. Windows raises the timer resolution to 1 ms in os_init so
// a frame sleep is not rounded up to the 15.6 ms system tick.
void os_sleep_us(u32 microseconds); // sleeps microseconds / 1000 ms; 0 ms only yields
void os_sleep_ms(i32 milliseconds);
void os_sleep_s(i32 seconds);

//~ Print

// Once, over the platform's standard-output write.

// Formats (stb_sprintf grammar) and writes to standard output in pieces of at
// most 1024 bytes, nothing allocated. Failures (no stdout, closed pipe) are
// ignored; no line feed is added.
void os_print(const char *format, ...);
void os_print_v(const char *format, va_list args);
// Bounded format: writes at most capacity - 1 bytes plus a NUL when capacity
// >= 1, and returns the length of the whole formatted text. With a null buffer
// or a capacity below 1 it writes nothing and only measures.
i32 os_format(char *buffer, i32 capacity, const char *format, ...);
i32 os_format_v(char *buffer, i32 capacity, const char *format, va_list args);

// From now on everything printed (os_print and the library's diagnostics)
// also goes to the log file at path, each line led by the local time
// ("2026-12-08 14:03:07.250 "); standard output is unchanged. The entry
// found there (a symbolic link moves as itself) is kept as path + ".1" and
// the log starts in a new file, created exclusively and held open, so no
// link is followed and nothing else is ever truncated; a log that would pass
// 1 MiB is kept the same way and started again. When the entry cannot be
// moved (a viewer holds it without delete sharing, a folder named ".1"), the
// log goes on at its end, the old lines kept whole, if it is a plain file of
// one link; the move is tried again 1 MiB later. Windows shares the file for
// reading, writing and deleting. The path is copied. False (and no log) when
// the path is too long or no log file can be had; an empty path ends the
// log. Prints from two threads may interleave in the log as they do on
// standard output.
bool os_set_log_file(StrSlice path);
// Formats into the log only, not standard output; nothing without a log.
void os_log(const char *format, ...);

//~ Diagnostics and console

// Per platform (console.cpp), except once: the colour names and
// os_console_read_line.

// Captures the calling thread's last system error (GetLastError / errno) and
// its message text into the one process-wide slot. Returns the number of
// characters of the text (0 for code 0 or a failed lookup).
i32 os_capture_last_error(void);
// The captured message text (Windows texts end in "\r\n"), or {0, null} when
// the captured code is 0. Valid until the next capture; do not free.
StrSlice os_last_error_text(void);
u32 os_last_error_code(void);

// Text colours of the standard-output console. Linux: ANSI colour sequences
// when stdout is a terminal, nothing otherwise.
void os_console_color_red(void);
void os_console_color_green(void);
void os_console_color_blue(void);
void os_console_color_yellow(void);
void os_console_color_cyan(void);
void os_console_color_magenta(void);
void os_console_color_default(void);
void os_console_color_white(void);

struct OsRect {
    i32 x, y, width, height;
};

// Console window operations. Without a console (always on Linux, where a
// terminal has no window the program may move) they do nothing and return 0.
void os_console_move(i32 x, i32 y);
void os_console_set_height(i32 height);
OsRect os_console_rect(void);
void os_console_flash(void);
// Next console key-down character (low byte, sign-extended), else 0.
// Linux: 0 (no console input events).
i16 os_console_read_key(void);
// Moves the cursor by columns/rows; a negative column becomes 0. Linux: ANSI
// relative moves when stdout is a terminal (which clamps at its edges).
void os_console_move_cursor(i32 dx, i32 dy);
// Visible width in columns; 0 without a console (Linux: the terminal's width
// when stdout is a terminal).
i32 os_console_width(void);
// Reads a line from stdin into buffer (at most capacity - 1 bytes, NUL-
// terminated); a trailing line feed of a text longer than one byte is removed.
void os_console_read_line(i32 capacity, char *buffer);

//~ Memory

// Per platform (memory.cpp).

// Process heap. Null on failure; os_realloc keeps the old block on failure and
// does not accept null. Whoever allocates frees with os_free.
void *os_alloc(u32 size);
void *os_alloc_zeroed(u32 size);
void *os_realloc(void *pointer, u32 size);
bool os_free(void *pointer);
// The block's size as the heap reports it (Linux: the usable size, which may
// exceed the size asked for).
u64 os_alloc_size(void *pointer);

//~ Locks

// Per platform (threads.cpp).

// The system lock (Windows critical section, Linux recursive pthread mutex),
// held by value. Recursive entry by the owner must be matched by as many unlocks.
struct OsMutex {
    alignas(8) u8 storage[64];
};

OsMutex os_mutex_init(void);
void os_mutex_destroy(OsMutex *mutex); // leaves the record all zeros
void os_mutex_lock(OsMutex *mutex);
void os_mutex_unlock(OsMutex *mutex);

//~ Threads

// Per platform (threads.cpp).

enum : u8 {
    OS_THREAD_SUSPENDED = 1 << 0,
    OS_THREAD_ALIVE = 1 << 1,
};

struct OsThread {
    i32 id;         // process-wide counter, the first thread is 1
    u8 flags;       // OS_THREAD_*; alive is set by the library while the function runs
    u64 user_value;
    void *handle;   // HANDLE on Windows (null once the thread has ended), pthread_t on Linux
};

typedef void OsThreadFunction(OsThread *thread);

i32 os_thread_id(void);
// Starts a thread running function(record). Null when it cannot start. The
// record is the caller's to os_free once the thread is done (alive clear after
// it ran); a thread that ends releases its system resources by itself.
OsThread *os_thread_create(OsThreadFunction *function, u64 user_value);
// Act only on a non-null record that is alive (suspend: and not suspended;
// resume: and suspended). Kill ends the thread and zeros the record without
// freeing it.
void os_thread_suspend(OsThread *thread);
void os_thread_resume(OsThread *thread);
void os_thread_kill(OsThread *thread);

//~ Canvas

// A window's pixel buffer: 0xAARRGGBB pixels, rows top-down, stride = width.
// The library allocates it with the window and grows it on resize; capacity
// is in bytes and only grows.
struct Canvas {
    i32 width;
    i32 height;
    u32 *pixels;
    i32 capacity;
};

//~ Files

// Per platform (file.cpp), except once: os_free_file, os_free_string,
// os_exe_folder, os_exe_name (over the platform's executable path) and
// os_exe_folder_join.

// Paths are UTF-8 with "/" as separator and must be NUL-terminated (only the
// pointer is used), except for os_list_directory, which uses the length.
// Each operation documents its own small result codes: 0 is success, 1 most
// often "could not open", 2 and 3 the later steps that operation has.

// The whole file in a heap block one byte longer than the content, every byte
// after the content 0. Missing or unopenable: {0, null}. An empty file gives
// length 0 with a non-null block. Captures the last error after the read
// attempt. Free with os_free_file.
StrSlice os_read_entire_file(StrSlice path);
// Frees the block (if any) and sets the slice to {0, null}.
void os_free_file(StrSlice *file);
// Creates or replaces: afterwards the file holds exactly these bytes.
// 0 written, 1 could not open, 2 the write failed.
i32 os_write_file(StrSlice path, u32 size, const void *bytes);
// Creates a new file holding these bytes. Whatever has the name already (a
// file, a folder, a symbolic link or junction, even a dangling one) is never
// opened, followed or changed. 0 created, 1 could not create (the name is
// taken, the folder is missing or not writable), 2 the write failed (the new
// file is removed again).
i32 os_create_file_exclusive(StrSlice path, u32 size, const void *bytes);
// Writes at offset without shortening the file, creating it if needed.
// 0 written, 1 could not open, 2 the seek failed, 3 the write failed.
i32 os_write_file_at(StrSlice path, i32 offset, u32 size, const void *bytes);
// Reads up to size bytes from offset into buffer (a short read at the end is
// success). 0 read, 1 could not open, 2 the seek failed, 3 the read failed;
// 2 and 3 capture the last error.
i32 os_read_file_range(StrSlice path, i64 offset, u32 size, void *buffer);
// Size in bytes, or -1 when the file cannot be opened or measured.
i64 os_file_size(StrSlice path);
// True for a file that can be opened for reading; false for a directory.
bool os_file_exists(StrSlice path);
// True when an entry of that name exists: a file, a directory, or (Linux)
// a symbolic link, even a dangling one.
bool os_path_exists(StrSlice path);
// Replaces an existing destination, but never the source itself (the same
// file by another spelling or link): that is 1 with the content kept.
// 0 copied, 1 failed.
i32 os_copy_file(StrSlice source, StrSlice destination);
// Moves or renames a file or directory; never replaces an existing
// destination. A file moves across file systems (Linux: copied, synced, then
// removed); a directory does not. 0 moved, 1 failed.
i32 os_move_file(StrSlice source, StrSlice destination);
i32 os_delete_file(StrSlice path); // 0 deleted, 1 failed
// Renames source over destination in one step, replacing a file (or a
// symbolic link itself, never its target) of that name. 0 replaced, 1 failed.
i32 os_replace_file(StrSlice source, StrSlice destination);
// Sets the file's end at length. 0 done, 1 could not open, 2 the seek
// failed, 3 setting the end failed.
i32 os_truncate_file(StrSlice path, i64 length);
// 0 when the path exists already (file or directory) or was created (the
// parent must exist); 1 failed.
i32 os_make_directory(StrSlice path);
// 0 when the path does not exist or the empty directory was removed; 1 failed
// (for example not empty).
i32 os_remove_directory(StrSlice path);

// One directory entry: its name (valid only during the call), its size and
// is_directory; directories report size 0.
typedef void OsListDirectoryCallback(StrSlice name, i64 size, bool is_directory);
// Calls callback for each entry except "." and "..", in the system's order,
// not descending. A directory that cannot be opened gives no call.
void os_list_directory(StrSlice path, OsListDirectoryCallback *callback);

// The running executable's folder with a trailing "/", its file name, and the
// user's desktop folder without a trailing "/" (Linux: XDG_DESKTOP_DIR from
// user-dirs.dirs in $XDG_CONFIG_HOME or ~/.config, else ~/Desktop). NUL-terminated, cached for the
// whole run; do not free or modify. The desktop is {0, null} when it cannot
// be found (tried again on the next call).
StrSlice os_exe_folder(void);
StrSlice os_exe_name(void);
StrSlice os_desktop_folder(void);
// A new heap string: the executable folder followed by each part of the array,
// which ends with a part of length 0. Free with os_free_string.
StrSlice os_exe_folder_join(const StrSlice *parts);
// Frees the block (if any) and sets the slice to {0, null}.
void os_free_string(StrSlice *string);

// Where a user's own files go when the program's folder is not theirs.
enum : u32 {
    OS_USER_FOLDER_CONFIG = 0, // Linux $XDG_CONFIG_HOME, else ~/.config; Windows roaming AppData (%APPDATA%)
    OS_USER_FOLDER_STATE = 1,  // Linux $XDG_STATE_HOME, else ~/.local/state; Windows local AppData (%LOCALAPPDATA%)
    // Linux $XDG_VIDEOS_DIR, else XDG_VIDEOS_DIR of user-dirs.dirs in the
    // configuration folder (what `xdg-user-dir VIDEOS` reads), else
    // ~/Videos; Windows the Videos known folder.
    OS_USER_FOLDER_VIDEOS = 2,
};
// A new heap string: the user's folder of that kind, then the application's
// folder name and "/". Linux writes the name in lower case in the
// configuration and state folders, as XDG programs do. Only absolute XDG
// values count. Nothing is created. {0, null} for an unknown kind or when no
// folder can be found: on Linux without a home (HOME unset, empty or "/" and
// the password entry's home missing or "/"), never a folder at the root;
// on Windows when the system has no such known folder. Free with
// os_free_string.
StrSlice os_user_folder(u32 kind, const char *application);
// True when the program runs from a system-wide install (Linux: below /usr/
// or /opt/; Windows: below Program Files), where it must never keep its own
// files beside itself, even when it could write there as root or elevated.
bool os_program_installed(void);
// True when a new file can be created in the folder (a trailing "/" is
// optional): a probe file is created and deleted again, so permissions,
// read-only media and ACLs all count. False for a missing folder.
bool os_folder_writable(StrSlice folder);
// Like os_make_directory, but creates the missing parents too; the path's
// root is never created (Linux "/"; Windows a drive, a network share
// "//server/share" or a "//?/" or "//./" device prefix, with "/" or "\\").
// 0 when the directory exists afterwards; 1 failed.
i32 os_make_directories(StrSlice path);

//~ Processes

// Per platform (process.cpp), except once: the command-line split and
// os_program_on_path (over os_program_path).

// A system handle (Windows HANDLE) or file descriptor (Linux; -1 when closed).
typedef i64 OsHandle;

// A child started by os_process_start, owned by the caller and filled in
// place. The system records are kept as opaque bytes so the header needs no
// system header; Linux keeps the child's pid and exit status in `info`.
struct OsProcess {
    OsHandle stdin_read;   // the child's standard input end
    OsHandle stdin_write;  // the parent's end; os_process_write writes here
    OsHandle stdout_read;  // the parent's end; os_process_read reads here
    OsHandle stdout_write; // the child's standard output and error end
    u32 creation_flags;    // Windows process-creation flags; 0 on Linux
    // The backend's own record of the child (Windows: its process and thread
    // handles and ids and its job; Linux: its pid and wait status); zeroed by
    // the start.
    alignas(8) u8 native[32];
};

// Starts command_line (program and arguments as one NUL-terminated UTF-8
// text, quoted the Windows way; the length is used only in the failure
// message) with its standard input and output (plus error) on pipes. 0
// started, 1 failed with "* NOTE * Error starting process!, ..." printed.
// show_window false: no console window (Windows). A bare program name (no
// folder part) is looked up by the library: the executable's folder, then
// the absolute folders of PATH, never the current folder (Windows: ".exe"
// added when the name has no extension; the path found goes quoted into the
// command line). Linux: the text is split into arguments by the Windows
// quoting rules and started with posix_spawn, never through a shell; the
// child gets a process group of its own, so a terminal's Ctrl+C (sent to its
// foreground group) or a signal to ours never reaches it, and every signal's
// default disposition and an empty mask, as from a fresh start.
i32 os_process_start(OsProcess *process, StrSlice command_line, bool show_window);
// As os_process_start, but the child cannot outlive this process. Linux: it
// gets SIGTERM when the starting thread ends (a parent-death signal, asked
// for after the signals were reset and checked against a parent that is
// already gone, so it is started by fork and exec, still without a shell).
// Windows: it starts suspended and joins a job of its own that ends it when
// the process's last handle to the job closes, however the process ends.
i32 os_process_start_bound(OsProcess *process, StrSlice command_line, bool show_window);
// Lets a child of os_process_start_bound outlive this process from now on,
// so that one told to finish (an encoder sent its "q") can do so after this
// process is gone. True when the child is free now. Safe in a crash hook or
// a session-end callback: no allocation, no lock. Windows: its job stops
// ending it on close. Linux: nothing to do and false: the parent-death
// signal is SIGTERM, on which the child (ffmpeg) finishes its file by
// itself, and no call from the parent can take the signal back.
bool os_process_unbind(OsProcess *process);
// Blocks until the pipe took the bytes; the count written, or -1.
i32 os_process_write(OsProcess *process, i32 size, const void *bytes);
// Never blocks: 0 when nothing is waiting, else up to capacity bytes (no NUL
// added); -1 when the pipe cannot be inspected or read.
i32 os_process_read(OsProcess *process, i32 capacity, void *buffer);
// Zero-timeout test; a failed test counts as not running.
bool os_process_is_running(OsProcess *process);
// Ends a still-running child, then closes every pipe end and handle (Linux:
// and reaps the child). Errors are ignored; the record must not be used
// again until the next start.
void os_process_kill(OsProcess *process);
// The exit code of a child that has ended (call after os_process_is_running
// said false, before os_process_kill); false while it runs or when unknown.
// Linux: a child ended by signal N gives 128 + N; unknown when the status
// could not be read (the child was reaped elsewhere), never a made-up 0.
bool os_process_exit_code(OsProcess *process, i32 *code);
// The child's system process id; 0 when none was started.
u32 os_process_id(OsProcess *process);
// Waits up to 5 s for the child to wait for user input. Linux: always false
// (no message queues; a child without one fails at once on Windows too).
bool os_process_wait_input_idle(OsProcess *process);
// True when os_process_start would find the program named (no folder in the
// name): the same lookup, in the program's own folder, then the absolute
// folders of PATH (Windows adds ".exe"; Linux wants an executable file).
bool os_program_on_path(StrSlice name);
// The same lookup, giving the path os_process_start would run for the bare
// name: a new heap string with "/" as separator (free with os_free_string),
// or {0, null} when there is none. What cannot be run is skipped, as the
// start skips it (Linux: a folder, a file without execute permission;
// Windows: a folder).
StrSlice os_program_path(StrSlice name);

// Receives one chunk of a child's output; valid only during the call.
typedef void OsProcessOutputCallback(StrSlice chunk);
// Without a callback: starts the command and forgets it. With one: runs it
// to completion, handing its output (standard output and error) to the
// callback in chunks of at most 4096 bytes; its input is closed at once, so a
// child that reads to the end of its input finishes. The program name is
// looked up as in os_process_start.
// 0 started (and finished), 1 failed with the failure lines printed.
i32 os_run_process(StrSlice command_line, OsProcessOutputCallback *callback, bool show_window);

//~ Windows

// Per platform (window.cpp), except once: os_get_windows.

// The 16-bit window flag word. OPEN and FOCUSED are state kept by the
// library; BORDERLESS, TOPMOST and PIXEL_BUFFER also change later.
enum : u16 {
    OS_WINDOW_OPEN = 0x0001,
    OS_WINDOW_FOCUSED = 0x0002,
    OS_WINDOW_AT_ORIGIN = 0x0008,    // popup at (0, 0), outer size 100 x 100
    OS_WINDOW_PIXEL_BUFFER = 0x0010,
    OS_WINDOW_BORDERLESS = 0x0040,
    OS_WINDOW_FIXED_SIZE = 0x0080,   // framed without the sizing border
    OS_WINDOW_HIDDEN = 0x0100,
    OS_WINDOW_LAYERED = 0x0200,      // pure black pixels are see-through
    OS_WINDOW_TOPMOST = 0x0400,
    OS_WINDOW_APP_WINDOW = 0x0800,   // forces a task-bar button
    OS_WINDOW_TRANSPARENT = 0x2000,  // clicks pass through to what is below
    OS_WINDOW_TOOL = 0x8000,         // no task-bar button
};

// OsWindow.raw_input bits.
enum : u8 {
    OS_RAW_MOUSE_WANTED = 1 << 0,
    OS_RAW_MOUSE_ACTIVE = 1 << 1,
    OS_RAW_MOUSE_REGISTERED = 1 << 2,
};

// Cursor shapes, indexes into the library's 32-slot cursor table.
enum : u8 {
    OS_CURSOR_NONE = 0, // invisible
    OS_CURSOR_ARROW = 1,
    OS_CURSOR_HAND = 2,
    OS_CURSOR_WAIT = 3,
    OS_CURSOR_TEXT = 4,
    OS_CURSOR_CROSS = 5,
    OS_CURSOR_NOT_ALLOWED = 6,
    OS_CURSOR_HELP = 7,
    OS_CURSOR_MOVE = 8,
    OS_CURSOR_RESIZE_WE = 9,
    OS_CURSOR_RESIZE_NS = 10,
    OS_CURSOR_RESIZE_NWSE = 11,
    OS_CURSOR_RESIZE_NESW = 12,
};
typedef u8 OsCursor;

// One per native window; allocated by os_open_window and never freed, so a
// pointer stays valid after the window closes (every operation on a closed
// window does nothing).
struct OsWindow {
    u16 flags;
    i32 client_x, client_y;         // screen position of the client area
    i32 client_width, client_height;
    i32 window_x, window_y;         // outer rectangle, frame included
    i32 window_width, window_height;
    void *handle;                   // HWND; Linux: the X Window id
    void *device_context;           // HDC; Linux: the window's GC
    u8 raw_input;                   // OS_RAW_MOUSE_*
    Canvas pixels;                  // all zero without OS_WINDOW_PIXEL_BUFFER
    void *backend;                  // backend-private state (Linux: image, mapping)
};

// Opens a window with the given client size. An empty title becomes
// "Window". Null on failure, after "* ERROR * Register window class fail\n"
// or "* ERROR * Window open fail %i\n".
OsWindow *os_open_window(i32 width, i32 height, StrSlice title, u16 flags);
// Fills a fresh cursor table (slots 1..12); os_open_window calls it every time.
void os_load_cursors(void);
// The library's list of open windows in creation order, its count and its
// capacity (4 at the first window, then doubling). Any out pointer may be null.
void os_get_windows(i32 *count, i32 *capacity, OsWindow ***list);

//~ Events

// Per platform (events.cpp).

enum : u8 {
    OS_EVENT_NONE = 0,
    OS_EVENT_MOUSE_MOVE = 1,
    OS_EVENT_MOUSE_BUTTON = 2,
    OS_EVENT_MOUSE_WHEEL = 3,
    OS_EVENT_KEY = 4,
    OS_EVENT_KEY_REPEAT = 5,
    OS_EVENT_CHAR = 6,
    OS_EVENT_WINDOW_MOVE = 7,
    OS_EVENT_WINDOW_RESIZE = 8,
    OS_EVENT_FOCUS = 10,
    OS_EVENT_DROP_FILES = 11,
    OS_EVENT_WINDOW_CLOSE = 12,
    // The user's session is ending (Windows: log-off or shut-down, once per
    // process). The system may end the process as soon as the callback
    // returns, so whatever must be saved is saved inside it. Linux: never
    // sent; the session's SIGTERM reaches the program as a stop signal.
    OS_EVENT_SESSION_END = 13,
    // The monitor layout changed (one added or removed, a new resolution or
    // position): WM_DISPLAYCHANGE, or RandR's notices on X11, whose event
    // names no library window (window null there). Read the table again.
    OS_EVENT_DISPLAY_CHANGE = 14,
    OS_EVENT_HOTKEY = 15, // a hotkey of os_register_hotkey was pressed
    // A text of os_instance_send arrived; window null.
    OS_EVENT_INSTANCE_MESSAGE = 16,
};

// Key and button codes share one space: 0..255 virtual keys, then these.
enum : u16 {
    OS_MOUSE_LEFT = 260,
    OS_MOUSE_MIDDLE = 261,
    OS_MOUSE_RIGHT = 262,
    OS_MOUSE_WHEEL = 263,
    OS_MOUSE_POSITION = 264,
};

enum : u8 {
    OS_BUTTON_UP = 0,
    OS_BUTTON_DOWN = 1,
    OS_BUTTON_DOUBLE = 2,
};

struct OsEventMouse { i32 x, y; };                              // screen position
struct OsEventButton { u16 code; i32 x, y; u8 state; };         // OS_MOUSE_*, screen, OS_BUTTON_*
struct OsEventWheel { i32 x, y; i32 notches; };                 // delta / 120, toward zero
struct OsEventKey { u16 code; u8 pressed; };                    // virtual-key code
struct OsEventMove { i32 x, y; };                               // client area's screen position
struct OsEventSize { i32 width, height; };                      // new client size
struct OsEventFocus { u8 gained; };
struct OsEventDrop { i32 x, y; char *files; i32 count; };      // names NUL-separated, extra NUL at the end
struct OsEventHotkey { i32 id; };                               // as registered
struct OsEventMessage { char *text; i32 length; };              // UTF-8, a NUL after it

// The library's one event record, overwritten by every message: valid only
// during the callback. Fields of other kinds keep stale values.
struct OsEvent {
    u8 kind;
    OsWindow *window;
    union {
        OsEventMouse mouse;
        OsEventButton button;
        OsEventWheel wheel;
        OsEventKey key;
        i32 character; // one UTF-16 code unit; Enter arrives as 10
        OsEventMove move;
        OsEventSize size;
        OsEventFocus focus;
        OsEventDrop drop;
        OsEventHotkey hotkey;
        OsEventMessage message;
    };
};

typedef void OsEventCallback(OsEvent *event);

// Replaces the one callback; null removes it.
void os_set_event_callback(OsEventCallback *callback);
// Handles every pending message without waiting (the instance channel's
// too, with or without a display); returns how many.
i32 os_pump_messages(void);
// Waits for at least one message, then as os_pump_messages. A message that
// came during an earlier pump and is still queued ends the wait at once.
// Linux: an X event; an instance message alone waits for the next one (the
// frame loop waits with os_wait_for_events, which it wakes).
i32 os_wait_and_pump_messages(void);
// Blocks until a message is waiting or the pointer moves (anywhere on the
// screen, by a device: X raw motion, Windows raw input), at most timeout_ms;
// dispatches nothing. A message to this process's instance name wakes it
// too. True when something arrived, at once when it already had; false after
// the timeout, or at once with neither a display nor an instance name. A
// pointer warped by a program (XWarpPointer, SetCursorPos) wakes it only
// over the library's windows.
bool os_wait_for_events(u32 timeout_ms);

//~ Instance channel

// Per platform (instance.cpp), over the checks of names and texts and the
// name held, which are once.

// os_instance_claim results.
enum : i32 {
    OS_INSTANCE_CLAIMED = 0, // this process holds the name until it ends
    OS_INSTANCE_HELD = 1,    // another process of this user holds it
    OS_INSTANCE_FAILED = 2,  // a bad name, another name held here, the system refused
};
// Claims a per-user name for this process, so that a second copy of a
// program learns that the first runs and can pass it messages. The claim
// lasts until the process ends, however it ends (killed hard too), and no
// child inherits it. A name is 1-64 bytes of A-Z a-z 0-9 . _ -. Claiming
// the name this process holds: claimed again; one name per process. Linux:
// an abstract unix socket named for the user id (a name held by another
// user's process: failed). Windows: a named mutex of the session named for
// the user, and a message-only window of the calling thread, which must be
// the thread that pumps the events.
i32 os_instance_claim(StrSlice name);

enum : i32 { OS_INSTANCE_MESSAGE_CAPACITY = 1024 };
// os_instance_send results.
enum : i32 {
    OS_INSTANCE_DELIVERED = 0,
    OS_INSTANCE_NONE_RUNNING = 1,   // no process holds the name
    OS_INSTANCE_NOT_DELIVERED = 2,  // a bad name, an empty or too long text, a holder that did not take it
};
// Sends text (1..OS_INSTANCE_MESSAGE_CAPACITY bytes) to the process holding
// name; it arrives there as OS_EVENT_INSTANCE_MESSAGE in a later pump, and
// wakes os_wait_for_events. Delivered: the holder's channel took it (Linux:
// queued on its socket, which only processes of the same user may reach;
// Windows: handed to its window, waiting up to 5 s for the holder's pump).
i32 os_instance_send(StrSlice name, StrSlice text);

//~ Hotkeys

// Modifier bits of a hotkey (the values of Windows' MOD_* flags).
enum : u8 {
    OS_HOTKEY_ALT = 0x1,
    OS_HOTKEY_CTRL = 0x2,
    OS_HOTKEY_SHIFT = 0x4,
    OS_HOTKEY_WIN = 0x8,
};

// os_register_hotkey results.
enum : i32 {
    OS_HOTKEY_REGISTERED = 0,
    OS_HOTKEY_TAKEN = 1,   // another program (Linux: client) holds the combination
    OS_HOTKEY_REFUSED = 2, // no such key on the keyboard, no display, a closed window
};

// Makes the modifiers plus key (a virtual-key code) a system-wide hotkey:
// whichever window has the focus, a press delivers OS_EVENT_HOTKEY with id to
// window, once per press (a held key's repeats deliver nothing). Registering
// an id again replaces it. Windows: RegisterHotKey, so call it on the thread
// that created the window; Linux: XGrabKey on the root window for the
// combination alone and with Num Lock, Caps Lock or both, the X errors
// trapped (all four grabs or none).
i32 os_register_hotkey(OsWindow *window, i32 id, u8 modifiers, u16 key);
// Releases the hotkey; an id not registered does nothing.
void os_unregister_hotkey(OsWindow *window, i32 id);

//~ Monitors

// Once, over the platform's enumeration (monitor.cpp); os_display_name per
// platform (system.cpp).

struct OsMonitor {
    u8 flags;                       // bit 0: primary
    i32 work_x, work_y, work_width, work_height;
    i32 x, y, width, height;
    i32 refresh_rate;               // 60 when the system gives less than 2
    StrSlice name;                  // UTF-8 with a NUL after it; owned by the table
    void *handle;                   // HMONITOR; Linux: the RandR CRTC
};

// Enumerates the monitors into the library's table and reports its count
// and address where asked (either may be null). A caller may keep records
// and names: an unchanged layout keeps the same table, a changed one gets a
// new table while earlier ones stay readable (with their old values) until
// exit.
void os_get_monitors(i32 *count, OsMonitor **table);
// The first monitor the system enumerates; enumerates once if there is no
// table. With no monitor at all, a zeroed record with refresh_rate 60.
OsMonitor *os_get_main_monitor(void);

// The X display the windows are on ($DISPLAY, ":0" when unset), which the
// screen grabber needs; Windows: {0, null}.
StrSlice os_display_name(void);

//~ Screen capture

// Per platform (Linux: code/os/linux/portal/; Windows: capture.cpp, where it
// is not available). Frames of a rectangle of the screen, asked of the desktop
// and written as raw video into a named pipe for the encoder, for sessions
// where the encoder's own screen grabber sees nothing (Wayland: x11grab sees
// only X programs). Linux: the desktop portal's ScreenCast (over D-Bus) and
// the PipeWire stream it opens.
//
// The encoder reads the pipe with these input options, the values taken from
// a READY status:
//   -f rawvideo -pix_fmt bgr0 -video_size <width>x<height> -framerate <frame_rate> -i "<pipe_path>"
// Every frame is width * height * 4 bytes, blue, green, red and an unused
// byte, rows top-down; the frame rate is kept by repeating the last frame
// while the desktop sends none, so frame n shows the screen at n / frame_rate
// seconds. The encoder's standard input stays free for its "q\n"; when the
// frames end (stopped, or the stream ended) the pipe closes and the encoder
// finishes the file as it does at "q".

// True when the encoder's screen grabber cannot see the desktop and frames
// must come from os_capture_start: Linux in a Wayland session (WAYLAND_DISPLAY
// set and not empty). Windows: false.
bool os_capture_needed(void);

struct OsCaptureSettings {
    OsRect region;          // in X root coordinates (under Wayland: XWayland's, the desktop's logical ones)
    i32 frame_rate;         // frames written per second, clamped to 1..240
    bool show_cursor;       // the pointer drawn into the frames
    StrSlice restore_token; // a status's restore_token from an earlier capture, or empty: the desktop asks the user
};

// OsCaptureStatus.state
enum : u8 {
    OS_CAPTURE_STARTING = 0, // asking the desktop (its dialog may be open); nothing to read yet
    OS_CAPTURE_READY = 1,    // the stream runs: start the encoder on pipe_path with width, height, frame_rate
    OS_CAPTURE_ENDED = 2,    // no more frames (result says why); the pipe is closed
};

// OsCaptureStatus.result: why it ended, each with its line in message.
enum : u8 {
    OS_CAPTURE_OK = 0,            // running, or ended by os_capture_stop or the encoder closing the pipe
    OS_CAPTURE_NOT_AVAILABLE = 1, // the platform has no such capture (Windows)
    OS_CAPTURE_NO_PORTAL = 2,     // no session bus, or no ScreenCast portal on it
    OS_CAPTURE_NO_PIPEWIRE = 3,   // PipeWire could not be reached or gave no picture we can read
    OS_CAPTURE_CANCELLED = 4,     // the user declined the desktop's request
    OS_CAPTURE_STREAM_ENDED = 5,  // the desktop ended the stream (a monitor unplugged, the session locked or closed)
    OS_CAPTURE_FAILED = 6,        // anything else: the region is on no shared monitor, no pipe, out of memory...
};

struct OsCaptureStatus {
    u8 state;                // OS_CAPTURE_STARTING, READY or ENDED
    u8 result;               // OS_CAPTURE_OK or why it ended
    // The region is not all on the shared monitor (it spans monitors, or the
    // user shared another one): the frames hold the part on that monitor and
    // black elsewhere; message says so. The monitor is the shared one that
    // holds most of the region.
    bool partial;
    OsRect monitor;          // that monitor in the region's coordinates; zero before READY
    i32 width, height;       // the frames' size: the region in the monitor's own pixels (scaling counted)
    i32 frame_rate;          // as written to the pipe
    u64 frames_received;     // pictures the desktop sent
    u64 frames_written;      // frames written to the pipe, repeats included
    char pipe_path[256];     // empty before READY
    char restore_token[128]; // the desktop's token for the next start (the user is not asked again); may be empty
    char message[256];       // a line for the log: why it ended, or the note on a partial region; else empty
};

// Creates the pipe and starts asking the desktop on a thread of its own;
// returns at once. Null only when out of memory. The capture is the caller's
// to end with os_capture_stop, whatever its state.
struct OsCapture;
OsCapture *os_capture_start(const OsCaptureSettings *settings);
// Copies the current status into *status; never blocks.
void os_capture_status(OsCapture *capture, OsCaptureStatus *status);
// Ends the frames (the pipe closes), the stream and the desktop's session,
// removes the pipe and frees the capture; waits at most about a second (the
// portal's own calls up to their 5 s timeout). Null does nothing. Stop the
// encoder with its "q\n" first, then this: the pipe's end also finishes an
// encoder still waiting for its first frame (the desktop sends the first
// picture only when something on the screen is drawn).
void os_capture_stop(OsCapture *capture);

//~ Presenting

// Per platform (present.cpp), except once: os_pixel_capacity.

// Capacity rule for pixel buffers: the smallest power of two not below
// width * height * 4 bytes; 1 for an empty area; 0 for a negative size or
// one past 1 GiB, which no buffer is made for.
i32 os_pixel_capacity(i32 width, i32 height);
// Sizes the buffer to the client area and allocates it; returns the capacity.
i32 os_alloc_window_pixels(OsWindow *window);
// Follows the client size; reallocates only when the capacity is too small.
// A size with no buffer (too large, or the allocation failed) leaves the
// canvas as it was, dimensions included, and says so once per run.
void os_resize_window_pixels(OsWindow *window);
void os_free_window_pixels(OsWindow *window);
// Copies the buffer to the window at once; nothing for a closed window or
// one without pixels.
void os_present_window(OsWindow *window);

//~ Window operations

// Per platform (operations.cpp).

// All do nothing for a null or closed window; moves do not repaint, and the
// record's geometry follows from the move and size events.
void os_show_window(OsWindow *window);
void os_hide_window(OsWindow *window);
void os_focus_window(OsWindow *window);
void os_minimize_window(OsWindow *window);
void os_restore_window(OsWindow *window);
void os_destroy_window(OsWindow *window); // the close event follows
void os_move_window(OsWindow *window, i32 x, i32 y, i32 width, i32 height);
void os_set_window_client_rect(OsWindow *window, i32 x, i32 y, i32 width, i32 height);
void os_set_window_position(OsWindow *window, i32 x, i32 y);
void os_set_window_client_position(OsWindow *window, i32 x, i32 y);
void os_resize_window(OsWindow *window, i32 width, i32 height);
void os_resize_window_client(OsWindow *window, i32 width, i32 height);
void os_center_window(OsWindow *window);
void os_flash_window(OsWindow *window);
// Neither activates the window nor takes the keyboard focus.
void os_set_window_topmost(OsWindow *window, bool on);
// Switches the frame on or off keeping the client area where it is, the
// window as visible or hidden as it was, and the focus where it was.
void os_set_window_decorated(OsWindow *window, bool decorated);
void os_toggle_window_fullscreen(OsWindow *window); // "* TODO * ..." only

//~ Cursor

// Per platform (cursor.cpp).

// The cursor's screen position; (-1, -1) when the system cannot tell. X11
// answers from a cache asked again after device motion, a pointer event of a
// library window, or 90 ms, so a warp elsewhere shows within 90 ms of asking.
void os_get_cursor_position(i32 *x, i32 *y);
// Shapes 32 and above are ignored; empty slots (0, 13..31) hide the cursor.
void os_set_cursor(OsCursor shape);
// Bring the cursor display counter to >= 0 / < 0; return the counter.
i32 os_show_cursor(void);
i32 os_hide_cursor(void);

//~ Input

// Once: the input tracker, os_send_key_down/up, os_send_text and the raw
// mouse switches. Per platform (input.cpp): the button state and the other
// synthetic input.

// Slots of the input table beside the key and button codes above.
enum : u16 {
    OS_INPUT_WHEEL = 263,
    OS_INPUT_MOUSE_POSITION = 264,
    OS_INPUT_SLOT_COUNT = 500,
};

// InputSlot.changes bits. They accumulate: the library never clears them.
enum : u8 {
    INPUT_PRESSED = 0x1,  // pressed, or for an axis: changed
    INPUT_REPEATED = 0x2, // pressed while already down
    INPUT_RELEASED = 0x4,
};

// One key, button or axis: slots 0..255 are virtual keys, 260..262 the mouse
// buttons, 263 the wheel, 264 the mouse position.
struct InputSlot {
    f32 value;            // 1.0 while down, 0.0 after the release; axes leave it alone
    u8 changes;           // INPUT_*
    f32 press_data[2];    // buttons: cursor at the last press; keys (0, 0); axes: the value
    f32 release_data[2];  // buttons: cursor at the last release; keys (0, 0)
    f32 previous_data[2]; // axes: the value before the last change
    u64 press_time;       // os_time_microseconds of the last press or axis change
    u64 release_time;
    f32 *linked_data;     // 260..263: slot 264's press_data; 265..268: slot 269's
    u8 event_count;       // every update, wrapping from 255 to 0
};

struct InputTable {
    InputSlot slots[OS_INPUT_SLOT_COUNT];
};

// Slot numbers in event order, duplicates included.
struct InputChangeList {
    u16 *slots;
    u32 count;
    u32 capacity;
};

// Folds a mouse move, wheel, button, key or key-repeat event into the table
// (created zeroed on the first call) and appends the slot to key_changes or
// axis_changes; other kinds do nothing. Nothing is ever reset: a consumer
// that wants per-frame edges clears `changes` and the counts itself.
void os_input_track_event(OsEvent *event);
// The table and the two lists; null before the first tracked event.
InputTable *os_input_table(void);
InputChangeList *os_input_key_changes(void);  // presses and releases, from 32 entries
InputChangeList *os_input_axis_changes(void); // wheel and position, from 64 entries

// For OS_MOUSE_LEFT/MIDDLE/RIGHT: whether the button is down as of the
// message being handled (Linux: right now). Any other code: true.
bool os_get_mouse_button_state(u16 code);

// Synthetic input, one injected event per call; rejected injections are lost
// silently. Linux: through XTest, virtual keys mapped back to the key codes
// of the keyboard map; a key the map lacks is skipped.
void os_send_mouse_down(u16 code); // OS_MOUSE_*; other codes do nothing
void os_send_mouse_up(u16 code);
void os_send_mouse_move(i32 dx, i32 dy);
// x, y in 0..65535 across the main display.
void os_send_mouse_move_absolute(i32 x, i32 y);
// Only Tab, Enter, Shift, Ctrl, Alt, Caps Lock, Escape, Space, the page and
// arrow keys, Insert, Delete, digits, letters, left Windows, keypad digits,
// Num and Scroll Lock, the plus/comma/minus/period/slash keys and 0xE2;
// every other code (Backspace, F-keys...) does nothing.
void os_send_key_down(u16 key);
void os_send_key_up(u16 key);
// Types NUL-terminated ASCII text as on a Swedish/Finnish layout: Shift and
// AltGr (Ctrl + Alt) held only while needed, dead keys followed by Space;
// bytes below 9 or above 126, and symbols the layout lacks, type nothing.
void os_send_text(const char *text);

// Raw mouse input for an open window (OsWindow.raw_input): enable registers
// at once whatever the focus, disable removes the registration for every
// window. Linux: the bits change alike, but nothing is registered with X.
void os_enable_raw_mouse(OsWindow *window);
void os_disable_raw_mouse(OsWindow *window);

//~ Clipboard

// Per platform (clipboard.cpp).

// Opened without an owner window for each call. Byte results are heap
// blocks the caller frees with os_free; empty is {0, null}. A clipboard that
// cannot be opened prints "* ERROR * Cannot open clipbeard\n" (getters only).
// Linux: text only, through the CLIPBOARD selection; images and snapshots
// are not available (get_image and snapshot give 1).

// UTF-8 text: the Unicode text converted, else the plain-text block whole
// (its terminator and slack included), else empty. Linux: the selection's
// UTF8_STRING (else STRING) text, empty when no owner answers within 2 s.
StrSlice os_clipboard_get_text(void);
// text must be NUL-terminated. Sets Unicode and plain text (the UTF-8 bytes
// as they are). 0 set, 1 or 2 when the first or second copy cannot be
// allocated; 1 as well when the clipboard cannot be opened or set (Linux: no
// X connection), everything allocated freed again. Linux: this process owns the selection from then on and a
// thread of the library serves it until another program takes it.
i32 os_clipboard_set_text(StrSlice text);
// An image (or a copied file's bytes) into *out after listing the formats
// ("CLIP %i = %s\n"): PNG formats, a DIB as a .bmp file, the bitmap (its
// pixels read out as a 32-bit top-down .bmp file), then a copied file.
// 0 delivered, 1 nothing.
i32 os_clipboard_get_image(StrSlice *out);
// With the clipboard already open: a heap copy of the format's block into
// *out and the clipboard closed, result 1; else 0 and the clipboard left open.
i32 os_clipboard_copy_format(u32 format, StrSlice *out);
// Places a bitmap of the window's client area (null: the primary screen).
// 0 placed; 1 for a window that is not open, or when the picture cannot be
// made or the clipboard not opened or set, the clipboard then left as it was
// (Linux: always 1, nothing changed).
i32 os_clipboard_snapshot_window(OsWindow *window);


//~ Dialogs and shell

// Per platform: the dialogs and the watch in dialog.cpp, os_shell_open in
// process.cpp.

// Opens the path (NUL-terminated) with the desktop's default handler: a file
// manager for a folder (Windows: the shell's "open" verb; Linux: xdg-open,
// started without a shell and not waited for). 0 started, 1 failed; nothing
// is printed.
i32 os_shell_open(StrSlice path);
// The system's open-file dialog; initial_folder may have a null pointer. On
// a choice: 0 and *out a new heap path with "/" (with several files chosen,
// their folder). Cancel or failure: 1 and *out untouched. Prints its
// "* ERROR_TODO * ..." line first, but never waits on standard input.
// Linux: not available, always 1.
i32 os_open_file_dialog(StrSlice *out, StrSlice initial_folder, bool allow_multiple);
// The system's folder browser. 0 and *out a new heap path ending in "/"
// (length includes it); 1 cancelled; 2 the item has no file-system path.
// Linux: not available, always 1.
i32 os_choose_folder_dialog(StrSlice *out);

// Receives a changed file's name relative to the watched folder ("sub/name"
// below it); valid only during the call.
typedef void OsWatchCallback(StrSlice name);
// Blocks, calling back for every file whose contents were written (creation
// of an empty file, deletion and renames are not reported), until the wait
// fails (the folder is deleted, say). One write may report several times.
// Prints "ERROR: os_watch_directory_changes\n" when the folder cannot be
// watched. Linux: inotify, the subtree watch following new subfolders.
void os_watch_directory_changes(StrSlice path, bool subtree, OsWatchCallback *callback);

//~ Process-wide services

// Per platform (services.cpp).

// kind is 1 for an unhandled exception; description is a static text
// "NAME -> sentence" or "UNKNOWN"; code is the exception code (Linux: the
// signal number) and address the faulting address.
typedef void CrashHook(u32 kind, const char *description, u64 code, u64 address);
// A call while the slot is empty installs the library's unhandled-exception
// filter (Linux: handlers for SIGSEGV, SIGFPE, SIGILL and SIGBUS, on a stack
// of their own for the calling thread); then the hook is stored, null
// emptying the slot (the filter stays). After the hook, or without one, the
// process ends without a system error dialog (Linux: by the signal itself).
void os_set_crash_handler(CrashHook *hook);
// Shows message (UTF-8) in a modal box titled "YA FUCKED UP" and then ends
// the process abnormally (abort). Linux: no box; the message and a line feed
// go to standard output and standard error first. Never returns.
[[noreturn]] void os_fatal(const char *message);
// Not implemented: prints "* TODO * os_abort_all_threads\n".
void os_abort_all_threads(void);
u32 os_processor_count(void);   // logical processors
u64 os_installed_memory(void);  // bytes; Linux: physical pages * page size
// The process's command line without trailing blanks, NUL-terminated, cached;
// do not free. Windows: as the system gives it (ANSI code page). Linux: the
// arguments of /proc/self/cmdline joined by spaces, quoted the Windows way
// where they need it.
StrSlice os_command_line(void);

struct OsLibrary {
    void *handle; // HMODULE; Linux: the dlopen handle
    u8 loaded;
};
// path NUL-terminated UTF-8, found by the system's default search. On
// failure handle is null and loaded 0.
OsLibrary os_load_library(StrSlice path);
void os_free_library(OsLibrary library); // nothing unless loaded
// The exported symbol (name NUL-terminated), or null when missing or when
// the library is not loaded (the system is not asked then).
void *os_library_symbol(OsLibrary library, StrSlice name);

//~ System sound

// Per platform (sound.cpp). Once, in code/os/os_sound.cpp: the stream's
// timeline and its format conversion (os_internal.h).

// The computer's own sound (what the default output device plays), captured
// in this process and handed to the encoder as raw PCM through a named pipe
// that it opens as one more input, so its standard input stays free for the
// "q\n" that stops it. One format whatever the device's: 48 kHz, two
// channels, 32-bit float little-endian, WASAPI's own shared-mode sample type,
// so nothing is quantised or clipped on the way (the encoder's mixer and Opus
// work in float anyway). The encoder reads it with
//   -thread_queue_size 1024 -f f32le -ar 48000 -ac 2 -i <pipe_name>
// The stream is laid on the clock from the moment the encoder opens the pipe:
// each packet where its capture time puts it, silence wherever the device
// delivered nothing (a loopback sends nothing while nothing plays), so the
// sound cannot drift against the picture. Windows: WASAPI loopback of the
// default render device, no driver and no rights needed. Linux: not available
// (OS_SOUND_NOT_AVAILABLE at once); ffmpeg's own pulse input records the
// default output's monitor there (-f pulse -i @DEFAULT_MONITOR@).
enum : i32 {
    OS_SOUND_RATE = 48000,
    OS_SOUND_CHANNELS = 2,
    OS_SOUND_FRAME_BYTES = 8,
};

// What os_sound_start captures.
enum : u8 {
    OS_SOUND_FROM_OUTPUT = 0, // what the default output device plays (loopback)
    OS_SOUND_FROM_INPUT = 1,  // the default input device (a microphone)
};

// OsSoundStatus.state: waiting, then streaming, then one of the ends.
enum : u8 {
    OS_SOUND_WAITING = 0,       // device and pipe open; the encoder has not opened the pipe yet
    OS_SOUND_STREAMING = 1,
    OS_SOUND_ENDED = 2,         // the encoder closed the pipe, or os_sound_stop came first
    OS_SOUND_DEVICE_LOST = 3,   // the device vanished (unplugged, disabled); the stream ended cleanly
    OS_SOUND_FAILED = 4,        // nothing captured: no device, no audio service, no loopback, no pipe
    OS_SOUND_NOT_AVAILABLE = 5, // this platform has no such capture
};

struct OsSoundStatus {
    u8 state;              // OS_SOUND_*
    char reason[200];      // a sentence for the panel and the log; empty while waiting or streaming
    char pipe_name[64];    // what the encoder opens ("\\.\pipe\vornby-sound-<pid>-<n>"); empty without one
    i64 frames_delivered;  // frames the pipe has taken
    i64 frames_silence;    // frames laid as silence (part of the delivered ones once written)
    i64 frames_dropped;    // captured frames left out: from before the start, overlapping, or unread
};

// The library's capture record; opaque.
struct OsSoundCapture;

// Opens the device and the pipe on a capture thread of its own and returns
// once both are open or have failed (within about 5 s): the status then says
// OS_SOUND_WAITING, or why not. Null only when out of memory or no thread
// could start. Every capture started, whatever its state, is ended by
// os_sound_stop.
OsSoundCapture *os_sound_start(u8 source);
// A copy of the current status, from any thread.
OsSoundStatus os_sound_status(OsSoundCapture *capture);
// Ends the capture: what was laid is written out (at most 1 s spent waiting
// for the encoder to take it), the pipe closed, the thread ended and the
// record freed. Null does nothing.
void os_sound_stop(OsSoundCapture *capture);
