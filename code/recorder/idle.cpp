#include "idle.h"

#include "../ui/frame.h"
#include "../ui/hit_test.h"
#include "../ui/panel.h"
#include "app.h"
#include "app_files.h"
#include "input.h"
#include "layout.h"
#include "messages.h"
#include "pointer.h"
#include "region.h"
#include "settings.h"
#include "startup.h"
#include "state.h"

static const i32 delay_step_ms = 1000;

static void restore_snapshot(void) {
    app.region_x0 = app.drag_x0;
    app.region_y0 = app.drag_y0;
    app.region_x1 = app.drag_x1;
    app.region_y1 = app.drag_y1;
}

static void drag_step(void) {
    restore_snapshot();
    i32 dx = app.last_cursor_x - app.press_x, dy = app.last_cursor_y - app.press_y;
    bool snap_x = false, snap_y = false;
    switch (app.pressed_element) {
    case ELEMENT_EDGE_TOP: app.region_y0 += dy; snap_y = true; break;
    case ELEMENT_EDGE_BOTTOM: app.region_y1 += dy; snap_y = true; break;
    case ELEMENT_EDGE_LEFT: app.region_x0 += dx; snap_x = true; break;
    case ELEMENT_EDGE_RIGHT: app.region_x1 += dx; snap_x = true; break;
    case ELEMENT_CORNER_TOP_LEFT: app.region_x0 += dx; app.region_y0 += dy; snap_x = snap_y = true; break;
    case ELEMENT_CORNER_TOP_RIGHT: app.region_x1 += dx; app.region_y0 += dy; snap_x = snap_y = true; break;
    case ELEMENT_CORNER_BOTTOM_LEFT: app.region_x0 += dx; app.region_y1 += dy; snap_x = snap_y = true; break;
    case ELEMENT_CORNER_BOTTOM_RIGHT: app.region_x1 += dx; app.region_y1 += dy; snap_x = snap_y = true; break;
    case ELEMENT_MOVE_REGION:
        region_move(dx, dy);
        relayout(app.pressed_element);
        return;
    default: break;
    }
    i32 r = (u16)app.frame_size_rounding;
    if (snap_x) region_snap_axis(app.region_x0, &app.region_x1, r);
    if (snap_y) region_snap_axis(app.region_y0, &app.region_y1, r);
    region_clamp();
    relayout(app.pressed_element);
}

// "Then relayout": a press that came with a cursor move re-lays out from the
// snapshot; otherwise only the values are redrawn (when asked to).
static void then_relayout(bool redraw) {
    if (app.input.moved) {
        restore_snapshot();
        region_clamp();
        relayout(app.pressed_element);
    } else if (redraw) {
        redraw_values();
    }
}

static void hover_set(ElementId hovered) {
    if (hovered == app.hover_element) return;
    app.hover_element = hovered;
    grab_place_and_draw(&app);
    panel_draw(&app, app_mode());
    set_cursor_for(hovered);
}

static void hover_update(void) {
    if (app.input.moved) hover_set(hit_test());
}

static const u32 idle_wait_near_ms = 100;
static const u32 idle_wait_far_ms = 1000;
static const i64 near_distance = 100;

u32 idle_wait_ms(void) {
    if (FrameFunction != idle_frame || app.pressed_element != ELEMENT_NONE) return 0;
    if (app.minimised) return idle_wait_far_ms;
    i64 cx = app.last_cursor_x, cy = app.last_cursor_y;
    bool near_region = cx >= (i64)app.region_x - near_distance && cx < (i64)app.region_x + app.region_w + near_distance &&
                       cy >= (i64)app.region_y - near_distance && cy < (i64)app.region_y + app.region_h + near_distance;
    return near_region || hit_test() != ELEMENT_NONE ? idle_wait_near_ms : idle_wait_far_ms;
}

static void minimise(void) {
    OsWindow *hide[5] = {app.edge_top, app.edge_bottom, app.edge_left, app.edge_right, app.grab_window};
    for (OsWindow *window : hide) os_move_window(window, 0, 0, 0, 0);
    os_minimize_window(app.control_window);
    app.minimised = true;
}

static void open_output_folder(void) {
    StrSlice path = app_output_folder();
    if (path.data) os_shell_open(path);
    os_free_string(&path);
}

// The record button, or the record hotkey: the countdown, or at once.
static void record_pressed(void) {
    state_switch(app.delay_ms != 0 ? APP_STATE_COUNTDOWN : APP_STATE_RECORDING);
}

static void press_action(void) {
    switch (app.pressed_element) {
    case ELEMENT_NONE:
        hover_update();
        break;
    case ELEMENT_RECORD:
        record_pressed();
        // The button is still held in the new state until its release: the
        // pointer keeps its shape over it.
        app.pressed_element = ELEMENT_RECORD;
        then_relayout(false);
        break;
    case ELEMENT_FRAME_HIDDEN:
    case ELEMENT_FRAME_BORDER:
    case ELEMENT_FRAME_GUIDES:
        app.frame_style = (u8)(app.pressed_element - ELEMENT_FRAME_HIDDEN);
        frame_show(&app, app_mode());
        then_relayout(true);
        break;
    case ELEMENT_LOCK_REGION: app.region_locked = !app.region_locked; then_relayout(true); break;
    case ELEMENT_DRAW_MOUSE: app.draw_mouse = !app.draw_mouse; then_relayout(true); break;
    case ELEMENT_AUDIO: app.record_audio = !app.record_audio; then_relayout(true); break;
    case ELEMENT_FPS_DOWN:
        for (i32 i = 0; i < FPS_CHOICE_COUNT; i++) {
            if (fps_choices[i] < app.fps) continue;
            if (i > 0) app.fps = (u8)fps_choices[i - 1];
            break;
        }
        then_relayout(true);
        break;
    case ELEMENT_FPS_UP:
        for (i32 i = 0; i < FPS_CHOICE_COUNT; i++) {
            if (fps_choices[i] <= app.fps) continue;
            app.fps = (u8)fps_choices[i];
            break;
        }
        then_relayout(true);
        break;
    case ELEMENT_DELAY_DOWN:
        app.delay_ms = app.delay_ms > delay_step_ms ? app.delay_ms - delay_step_ms : 0;
        then_relayout(true);
        break;
    case ELEMENT_DELAY_UP:
        app.delay_ms = app.delay_ms < DELAY_MAX_MS - delay_step_ms ? app.delay_ms + delay_step_ms : DELAY_MAX_MS;
        then_relayout(true);
        break;
    case ELEMENT_OPEN_OUTPUT:
        open_output_folder();
        then_relayout(false);
        break;
    case ELEMENT_MINIMISE:
        minimise();
        break;
    case ELEMENT_CLOSE:
        state_quit();
        break;
    case ELEMENT_PANEL:
        then_relayout(false);
        break;
    default: // the move handle and the eight zones
        if (app.input.moved) drag_step();
        break;
    }
}

// The monitor table is read again and the region kept on it; the guides and
// the panel follow. A change seen while counting down or recording waits for
// the return to idle, since the encoder keeps the region it was given.
static void monitors_changed(void) {
    app.monitors_changed = false;
    app_read_monitors();
    region_fit_desktop();
    if (!app.minimised) relayout(app.hover_element);
}

void idle_frame(void) {
    if (app.monitors_changed) monitors_changed();
    // The hotkey works also while the panel is minimised.
    if (app.input.hotkey) {
        record_pressed();
        return;
    }
    if (app.minimised) return;
    poll_cursor();
    if (app.input.pressed) {
        app.input.changed = true;
        app.drag_x0 = app.region_x0;
        app.drag_y0 = app.region_y0;
        app.drag_x1 = app.region_x1;
        app.drag_y1 = app.region_y1;
        // The press acts where it happened, which a warp may have made
        // differ from what the hover last showed.
        app.press_x = app.pressed_at_x;
        app.press_y = app.pressed_at_y;
        hover_set(hit_test_pressed());
        app.pressed_element = app.hover_element;
        if (app.pressed_element >= ELEMENT_PANEL) message_dismiss();
        press_action();
        // A quick click's release came in the same frame: it ends the press,
        // unless the press has left this state or hidden the program.
        if (!app.input.released) return;
        if (FrameFunction != idle_frame || app.minimised) {
            app.pressed_element = ELEMENT_NONE;
            return;
        }
    } else if (!app.input.released) {
        if (!app.input.changed) return;
        if (app.pressed_element != ELEMENT_NONE) {
            if (app.input.moved) drag_step();
            return;
        }
        hover_update();
        return;
    }
    // Release.
    app.input.changed = true;
    app.pressed_element = ELEMENT_NONE;
    region_order_corners();
    hover_update();
}
