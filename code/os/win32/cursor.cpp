// The cursor: its position, shape and display counter (one cursor for the
// whole process).
#include "os_w32_window.h"

void os_get_cursor_position(i32 *x, i32 *y) {
    POINT at;
    if (!GetCursorPos(&at)) at.x = at.y = -1;
    if (x) *x = at.x;
    if (y) *y = at.y;
}

void os_set_cursor(OsCursor shape) {
    if (!os_w32_cursors) os_load_cursors();
    if (shape >= 32 || !os_w32_cursors) return;
    SetCursor(os_w32_cursors[shape]);
}

i32 os_show_cursor(void) {
    i32 counter;
    do counter = ShowCursor(TRUE);
    while (counter < 0);
    return counter;
}

i32 os_hide_cursor(void) {
    i32 counter;
    do counter = ShowCursor(FALSE);
    while (counter >= 0);
    return counter;
}
