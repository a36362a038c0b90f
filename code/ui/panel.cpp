#include "panel.h"

#include "../text/text.h"
#include "canvas.h"
#include "desktop.h"

// The separators between the groups of controls.
static const i32 separator_columns[] = {39, 152, 216, 333, 457, 495};
// The record button's faces for idle, countdown and recording lie one under
// the other.
static const i32 record_face_step = 33;

// Settings show their state; the buttons that act light up under the pointer.
static bool control_lit(const UiView *view, ElementId element) {
    switch (element) {
    case ELEMENT_FRAME_HIDDEN: return view->frame_style == 0;
    case ELEMENT_FRAME_BORDER: return view->frame_style == 1;
    case ELEMENT_FRAME_GUIDES: return view->frame_style == 2;
    case ELEMENT_LOCK_REGION: return view->region_locked;
    case ELEMENT_DRAW_MOUSE: return view->draw_mouse;
    case ELEMENT_AUDIO: return view->record_audio;
    default: return view->hover_element == element;
    }
}

static StrSlice slice(const char *text, i32 length, i32 capacity) {
    return StrSlice{length < capacity ? length : capacity - 1, (char *)text};
}

void panel_paint(Canvas *canvas, const UiView *view, AppMode mode) {
    canvas_fill(canvas, COLOUR_BLACK);
    char region_text[65], fps_text[17], delay_text[17];
    i32 region_length = os_format(region_text, sizeof region_text, "x %i, y %i, w %i, h %i",
                                  view->region_x, view->region_y, view->region_w, view->region_h);
    i32 fps_length = os_format(fps_text, sizeof fps_text, "FPS %i", view->fps);
    i32 delay_length = os_format(delay_text, sizeof delay_text, "Delay %i", view->delay_ms / 1000);

    u32 colour = status_colour(mode == APP_MODE_IDLE, mode == APP_MODE_RECORDING);
    canvas_status_outline(canvas, canvas->width, colour);
    for (i32 x : separator_columns) canvas_status_separator(canvas, x, colour);
    // The values go left of their arrows, which are drawn over them.
    text_draw(canvas, 227.0f, 12.0f, slice(fps_text, fps_length, sizeof fps_text));
    text_draw(canvas, 344.0f, 12.0f, slice(delay_text, delay_length, sizeof delay_text));
    for (const PanelControl &control : panel_controls) {
        i32 sheet_y = control.sheet_y;
        if (control.element == ELEMENT_RECORD) sheet_y += record_face_step * mode;
        i32 sheet_x = control_lit(view, control.element) ? control.cell : 0;
        canvas_blit_icon(canvas, sheet_x, sheet_y, control.cell, control.cell, control.icon_x, control.icon_y);
    }
    text_draw(canvas, 8.0f, 42.0f, slice(region_text, region_length, sizeof region_text));
}

void panel_draw(const UiView *view, AppMode mode) {
    OsWindow *window = view->control_window;
    if (!window || !(window->flags & OS_WINDOW_OPEN)) return;
    panel_paint(&window->pixels, view, mode);
    os_present_window(window);
}

static i32 keep_within(i32 value, i32 low, i64 high) {
    if (value > high) value = (i32)high;
    return value < low ? low : value;
}

// 64-bit sums: the region comes unchecked from the state file.
void panel_position(i32 x, i32 y, i32 w, i32 h, OsRect monitor, i32 *panel_x, i32 *panel_y) {
    i64 left = monitor.x, top = monitor.y;
    i64 right = left + monitor.width, bottom = top + monitor.height;
    if ((i64)y + h + PANEL_GAP + PANEL_HEIGHT <= bottom) { // below
        *panel_x = x + PANEL_INSET;
        *panel_y = y + h + PANEL_GAP;
    } else if ((i64)y - PANEL_GAP - PANEL_HEIGHT >= top) { // above
        *panel_x = x + PANEL_INSET;
        *panel_y = y - PANEL_GAP - PANEL_HEIGHT;
    } else if ((i64)x + w + PANEL_GAP + PANEL_WIDTH <= right) { // right
        *panel_x = x + w + PANEL_GAP;
        *panel_y = y + PANEL_INSET;
    } else if ((i64)x - PANEL_GAP - PANEL_WIDTH < left) { // no room left either: over the corner
        *panel_x = x;
        *panel_y = (i32)((i64)y + h - PANEL_HEIGHT);
    } else { // left
        *panel_x = x - PANEL_GAP - PANEL_WIDTH;
        *panel_y = y + PANEL_INSET;
    }
    // A monitor narrower or lower than the panel keeps its left or top end.
    *panel_x = keep_within(*panel_x, monitor.x, right - PANEL_WIDTH);
    *panel_y = keep_within(*panel_y, monitor.y, bottom - PANEL_HEIGHT);
}

void panel_place(const UiView *view, i32 *panel_x, i32 *panel_y) {
    OsRect region = {view->region_x, view->region_y, view->region_w, view->region_h};
    OsRect monitor = desktop_monitor(view, desktop_monitor_holding(view, region));
    panel_position(view->region_x, view->region_y, view->region_w, view->region_h, monitor, panel_x, panel_y);
    os_move_window(view->control_window, *panel_x, *panel_y, PANEL_WIDTH, PANEL_HEIGHT);
}
