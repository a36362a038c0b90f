// Cursor shapes and visibility. Windows has one cursor for the process; X
// gives each window its own, so the current one is set on every window.
#include "os_lnx_x11.h"

#include <X11/cursorfont.h>

// The cursor table of 32 slots; slot 0 and 13..31 stay empty.
static Cursor *os_lnx_cursors;
// Font cursors are server resources: made once, shared by every table.
static Cursor os_lnx_font_cursors[13];
static Cursor os_lnx_invisible;
static OsCursor os_lnx_shape;
static bool os_lnx_shape_set;      // before the first os_set_cursor: the parent's cursor
static i32 os_lnx_display_counter; // ShowCursor's counter; hidden below 0
static Cursor os_lnx_applied;      // what the windows show now

static Cursor os_lnx_invisible_cursor(Display *display) {
    if (os_lnx_invisible) return os_lnx_invisible;
    char empty[1] = {0};
    Pixmap blank = XCreateBitmapFromData(display, os_lnx_x.root, empty, 1, 1);
    XColor black = {};
    os_lnx_invisible = XCreatePixmapCursor(display, blank, blank, &black, &black, 0, 0);
    XFreePixmap(display, blank);
    return os_lnx_invisible;
}

void os_load_cursors(void) {
    Cursor *table = (Cursor *)os_alloc_zeroed(32 * sizeof(Cursor));
    Display *display = os_lnx_display();
    if (display && !os_lnx_font_cursors[1]) {
        // The cursor font has no slashed circle or diagonal double arrows:
        // the nearest shapes stand in.
        static const unsigned shapes[13] = {
            0,
            XC_left_ptr,
            XC_hand2,
            XC_watch,
            XC_xterm,
            XC_crosshair,
            XC_X_cursor,
            XC_question_arrow,
            XC_fleur,
            XC_sb_h_double_arrow,
            XC_sb_v_double_arrow,
            XC_bottom_right_corner,
            XC_bottom_left_corner,
        };
        for (int i = 1; i < 13; i++) os_lnx_font_cursors[i] = XCreateFontCursor(display, shapes[i]);
    }
    for (int i = 1; i < 13; i++) table[i] = os_lnx_font_cursors[i];
    // The handles are shared, so the old table can go.
    if (os_lnx_cursors) os_free(os_lnx_cursors);
    os_lnx_cursors = table;
}

static Cursor os_lnx_current_cursor(Display *display) {
    if (!os_lnx_shape_set && os_lnx_display_counter >= 0) return None;
    if (os_lnx_display_counter < 0 || !os_lnx_cursors || !os_lnx_cursors[os_lnx_shape])
        return os_lnx_invisible_cursor(display);
    return os_lnx_cursors[os_lnx_shape];
}

void os_lnx_apply_cursor(OsWindow *window) {
    Display *display = os_lnx_display();
    OsLnxWindow *b = os_lnx_window(window);
    if (!display || !b) return;
    Cursor cursor = os_lnx_current_cursor(display);
    if (cursor == None) XUndefineCursor(display, b->id);
    else XDefineCursor(display, b->id, cursor);
}

static void os_lnx_apply_cursor_everywhere(void) {
    Display *display = os_lnx_display();
    if (!display) return;
    Cursor cursor = os_lnx_current_cursor(display);
    // The recorder sets the shape every frame; only a change goes out.
    if (cursor == os_lnx_applied) return;
    os_lnx_applied = cursor;
    i32 count = 0;
    OsWindow **list = nullptr;
    os_get_windows(&count, nullptr, &list);
    for (i32 i = 0; i < count; i++) os_lnx_apply_cursor(list[i]);
    XFlush(display);
}

void os_set_cursor(OsCursor shape) {
    if (!os_lnx_cursors) os_load_cursors();
    if (shape >= 32) return;
    os_lnx_shape = shape;
    os_lnx_shape_set = true;
    os_lnx_apply_cursor_everywhere();
}

i32 os_show_cursor(void) {
    do ++os_lnx_display_counter;
    while (os_lnx_display_counter < 0);
    os_lnx_apply_cursor_everywhere();
    return os_lnx_display_counter;
}

i32 os_hide_cursor(void) {
    do --os_lnx_display_counter;
    while (os_lnx_display_counter >= 0);
    os_lnx_apply_cursor_everywhere();
    return os_lnx_display_counter;
}

static Bool os_lnx_is_raw_motion(Display *, XEvent *event, XPointer) {
    return event->type == GenericEvent && event->xcookie.extension == os_lnx_x.xi_opcode;
}

// A warp seen this long after it happened at the latest: the recorder needs
// them within 100 ms near its region and waits at most that long for events.
static const i64 os_lnx_pointer_max_age_us = 90000;

void os_get_cursor_position(i32 *x, i32 *y) {
    i32 px = -1, py = -1;
    Display *display = os_lnx_display();
    i64 now_us = os_ticks_to_microseconds(os_ticks());
    if (display && os_lnx_x.raw_motion) {
        // A round trip per frame is most of an idle frame loop's cost; ask
        // only when something says the pointer moved, or the answer is old.
        XEvent event;
        while (XCheckIfEvent(display, &event, os_lnx_is_raw_motion, nullptr)) os_lnx_x.pointer_moved = true;
        if (!os_lnx_x.pointer_moved && now_us - os_lnx_x.pointer_asked_us < os_lnx_pointer_max_age_us) {
            if (x) *x = os_lnx_x.pointer_x;
            if (y) *y = os_lnx_x.pointer_y;
            return;
        }
    }
    if (display) {
        Window root, child;
        int root_x, root_y, window_x, window_y;
        unsigned int mask;
        // False when the pointer is on another screen of the display.
        if (XQueryPointer(display, os_lnx_x.root, &root, &child, &root_x, &root_y, &window_x, &window_y, &mask)) {
            px = root_x;
            py = root_y;
        }
        os_lnx_x.pointer_x = px;
        os_lnx_x.pointer_y = py;
        os_lnx_x.pointer_moved = false;
        os_lnx_x.pointer_asked_us = now_us;
    }
    if (x) *x = px;
    if (y) *y = py;
}
