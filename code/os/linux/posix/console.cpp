// The last-error slot (from errno) and the console helpers over a terminal.
#include "../../os_internal.h"

#include <errno.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

// One slot per process, unlocked: concurrent captures overwrite each other.
static u32 os_lnx_error_code;
static char os_lnx_error_text[512];

i32 os_capture_last_error(void) {
    os_lnx_error_code = (u32)errno;
    os_lnx_error_text[0] = 0;
    if (os_lnx_error_code == 0) return 0;
    // The GNU strerror_r may return a static string instead of filling the buffer.
    const char *text = strerror_r((int)os_lnx_error_code, os_lnx_error_text, sizeof os_lnx_error_text);
    if (text != os_lnx_error_text) {
        strncpy(os_lnx_error_text, text, sizeof os_lnx_error_text - 1);
        os_lnx_error_text[sizeof os_lnx_error_text - 1] = 0;
    }
    return (i32)strlen(os_lnx_error_text);
}

StrSlice os_last_error_text(void) {
    if (os_lnx_error_code == 0) return StrSlice{0, nullptr};
    return StrSlice{(i64)strlen(os_lnx_error_text), os_lnx_error_text};
}

u32 os_last_error_code(void) { return os_lnx_error_code; }

static void os_lnx_terminal_write(const char *format, i32 value) {
    if (!isatty(STDOUT_FILENO)) return;
    char sequence[32];
    i32 length = os_format(sequence, sizeof sequence, format, value);
    os_platform_write_stdout(sequence, length);
}

void os_platform_console_color(u8 attribute) {
    // Console attribute bits (blue 1, green 2, red 4) to ANSI colour bits
    // (red 1, green 2, blue 4); 7 is the terminal's own default colour.
    if (attribute == 7) {
        os_lnx_terminal_write("\x1b[0m", 0);
        return;
    }
    i32 ansi = ((attribute & 4) ? 1 : 0) | (attribute & 2) | ((attribute & 1) ? 4 : 0);
    os_lnx_terminal_write("\x1b[%im", ((attribute & 8) ? 90 : 30) + ansi);
}

// A terminal emulator's window belongs to the terminal, not to this program.
void os_console_move(i32, i32) {}
void os_console_set_height(i32) {}
OsRect os_console_rect(void) { return OsRect{0, 0, 0, 0}; }
void os_console_flash(void) {}
i16 os_console_read_key(void) { return 0; }

void os_console_move_cursor(i32 dx, i32 dy) {
    // The terminal clamps a move past column 0 itself.
    if (dx > 0) os_lnx_terminal_write("\x1b[%iC", dx);
    if (dx < 0) os_lnx_terminal_write("\x1b[%iD", -dx);
    if (dy > 0) os_lnx_terminal_write("\x1b[%iB", dy);
    if (dy < 0) os_lnx_terminal_write("\x1b[%iA", -dy);
}

i32 os_console_width(void) {
    winsize size;
    if (!isatty(STDOUT_FILENO) || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}
