#include "panel.h"

#include <string.h>

#include "../text/text.h"
#include "canvas.h"
#include "desktop.h"

// The separators between the groups of controls.
static const i32 separator_columns[] = {39, 152, 216, 333, 457, 495};
// The record button's faces for idle, countdown and recording lie one under
// the other. Paused, it shows the countdown's face, yellow with a pause
// mark, lit with a stop mark: as in the countdown, a press ends what waits.
static const i32 record_face_step = 33;
static i32 record_face_row(AppMode mode) { return mode == APP_MODE_PAUSED ? APP_MODE_COUNTDOWN : mode; }

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

// The text line: the region, or a message in a colour of its own.
static const f32 text_line_x = 8.0f, text_line_y = 42.0f;
static const u32 message_error_colour = 0xFFFF6450;
static const u32 message_done_colour = 0xFF78E678;
static const char message_cut_mark[] = "\xE2\x80\xA6"; // an ellipsis
static const char message_log_note[] = " \xE2\x80\x94 see vornby.log";

// Below the status outline the text line is alone on the canvas.
static const i32 text_line_top = 41;
enum { TEXT_LINE_ROWS = 61 - 41 };
static_assert(TEXT_LINE_ROWS == (i32)PANEL_HEIGHT - text_line_top, "the text line reaches the bottom");

// A message stays up through many redraws (every hover change), and
// measuring and rasterising a full line costs more than the rest of the
// panel: it is drawn once and copied after that.
struct MessageLineCache {
    bool valid;
    char message[MESSAGE_CAPACITY];
    MessageKind kind;
    bool see_log;
    TextStyle style;
    u32 pixels[(i32)PANEL_WIDTH * TEXT_LINE_ROWS];
};
static MessageLineCache message_line_cache;

static bool same_style(const TextStyle &a, const TextStyle &b) {
    return a.face == b.face && a.pixel_height == b.pixel_height && a.line_height == b.line_height &&
           a.line_gap == b.line_gap && a.letter_spacing == b.letter_spacing && a.colour == b.colour;
}

static i32 text_length(const char *text) {
    i32 length = 0;
    while (text[length]) length++;
    return length;
}

// Cut at a whole character so the message with its note ends before right:
// inside the window, with the same margin on the right as on the left.
static void draw_message(Canvas *canvas, const UiView *view, f32 right) {
    char line[MESSAGE_CAPACITY + sizeof message_cut_mark + sizeof message_log_note];
    StrSlice message = {text_length(view->message), (char *)view->message};
    if (message.length >= MESSAGE_CAPACITY) message.length = MESSAGE_CAPACITY - 1;
    StrSlice note = {view->message_see_log ? (i64)sizeof message_log_note - 1 : 0, (char *)message_log_note};
    StrSlice mark = {(i64)sizeof message_cut_mark - 1, (char *)message_cut_mark};
    f32 room = right - text_line_x;
    f32 note_width = text_width(note);
    if (note_width > room) {
        note.length = 0;
        note_width = 0.0f;
    }
    i64 kept = text_fit(message, room - note_width);
    bool cut = kept < message.length;
    if (cut) kept = text_fit(StrSlice{kept, message.data}, room - note_width - text_width(mark));
    i32 used = 0;
    for (i64 i = 0; i < kept; i++) line[used++] = message.data[i];
    if (cut)
        for (i64 i = 0; i < mark.length; i++) line[used++] = mark.data[i];
    for (i64 i = 0; i < note.length; i++) line[used++] = note.data[i];
    u32 normal = text_style.colour;
    text_style.colour = view->message_kind == MESSAGE_DONE ? message_done_colour : message_error_colour;
    text_draw(canvas, text_line_x, text_line_y, StrSlice{used, line});
    text_style.colour = normal;
}

static void draw_message_line(Canvas *canvas, const UiView *view) {
    MessageLineCache &cache = message_line_cache;
    f32 right = (f32)canvas->width - text_line_x;
    if (canvas->width != PANEL_WIDTH || canvas->height != PANEL_HEIGHT) {
        draw_message(canvas, view, right);
        return;
    }
    u32 *line = canvas->pixels + text_line_top * PANEL_WIDTH;
    if (cache.valid && cache.kind == view->message_kind && cache.see_log == view->message_see_log &&
        same_style(cache.style, text_style) && strncmp(cache.message, view->message, MESSAGE_CAPACITY) == 0) {
        memcpy(line, cache.pixels, sizeof cache.pixels);
        return;
    }
    draw_message(canvas, view, right);
    memcpy(cache.pixels, line, sizeof cache.pixels);
    memcpy(cache.message, view->message, MESSAGE_CAPACITY);
    cache.kind = view->message_kind;
    cache.see_log = view->message_see_log;
    cache.style = text_style;
    cache.valid = true;
}

static StrSlice slice(const char *text, i32 length, i32 capacity) {
    return StrSlice{length < capacity ? length : capacity - 1, (char *)text};
}

// Where the pause control begins on the text line.
static f32 pause_control_left(void) {
    for (const PanelControl &control : panel_controls)
        if (control.element == ELEMENT_PAUSE) return (f32)control.hit.x;
    return (f32)PANEL_WIDTH;
}

// While recording, the line is the recording's: "Recording 1:05 · 2.4 MB",
// or "Paused ..." with the time standing still.
static void draw_recording_line(Canvas *canvas, const UiView *view, AppMode mode) {
    char line[96];
    long long s = view->recorded_ms > 0 ? (long long)(view->recorded_ms / 1000) : 0;
    const char *word = mode == APP_MODE_PAUSED ? "Paused" : "Recording";
    f64 megabytes = (f64)view->recorded_bytes / 1e6;
    i32 length = s >= 3600 ? os_format(line, sizeof line, "%s %lli:%02lli:%02lli \xC2\xB7 %.1f MB", word, s / 3600,
                                       s / 60 % 60, s % 60, megabytes)
                           : os_format(line, sizeof line, "%s %lli:%02lli \xC2\xB7 %.1f MB", word, s / 60, s % 60,
                                       megabytes);
    text_draw(canvas, text_line_x, text_line_y, slice(line, length, sizeof line));
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
        if (!panel_control_shown(control, mode)) continue;
        i32 sheet_y = control.sheet_y;
        if (control.element == ELEMENT_RECORD) sheet_y += record_face_step * record_face_row(mode);
        // Paused, the control resumes: its face under the pause face.
        if (control.element == ELEMENT_PAUSE && mode == APP_MODE_PAUSED) sheet_y += control.cell;
        i32 sheet_x = control_lit(view, control.element) ? control.cell : 0;
        canvas_blit_icon(canvas, sheet_x, sheet_y, control.cell, control.cell, control.icon_x, control.icon_y);
    }
    // During a recording the line is the recording's, but for what went wrong
    // under it (its sound, the desktop's sharing), said left of the pause
    // control; a confirmation waits for the recording's end (if still within
    // its time).
    bool trouble = view->message_kind == MESSAGE_ERROR || view->message_kind == MESSAGE_NOTE;
    if (mode_records(mode) && trouble) draw_message(canvas, view, pause_control_left() - text_line_x);
    else if (mode_records(mode)) draw_recording_line(canvas, view, mode);
    else if (view->message_kind != MESSAGE_NONE) draw_message_line(canvas, view);
    else text_draw(canvas, text_line_x, text_line_y, slice(region_text, region_length, sizeof region_text));
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
