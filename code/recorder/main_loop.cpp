#include "main_loop.h"

#include "../ui/frame.h"
#include "../ui/panel.h"
#include "app.h"
#include "app_files.h"
#include "countdown.h"
#include "finishing.h"
#include "frame_timing.h"
#include "hotkey.h"
#include "idle.h"
#include "messages.h"
#include "recording.h"
#include "share_copy.h"
#include "startup.h"
#include "state.h"

const AppStateEntry app_states[APP_STATE_COUNT] = {
    {app_startup_frame, nullptr, APP_MODE_IDLE},
    {idle_frame, nullptr, APP_MODE_IDLE},
    {countdown_frame, countdown_enter, APP_MODE_COUNTDOWN},
    {recording_frame, recording_enter, APP_MODE_RECORDING},
};
FrameProc *FrameFunction = app_startup_frame;

static const u32 background_wait_ms = 100;

static StrSlice title(const char *text) {
    i64 length = 0;
    while (text[length]) length++;
    return StrSlice{length, (char *)text};
}

void app_event_callback(OsEvent *event) {
    switch (event->kind) {
    case OS_EVENT_WINDOW_CLOSE:
        state_quit();
        break;
    case OS_EVENT_SESSION_END:
        // Nothing runs after this returns: finish as the close button would, now.
        state_quit();
        app_finish();
        break;
    case OS_EVENT_FOCUS:
        if (event->focus.gained) {
            frame_show(&app, app_mode());
            panel_draw(&app, app_mode());
            app.minimised = false;
            app.pressed_element = ELEMENT_NONE;
        }
        app.input.changed = true;
        break;
    case OS_EVENT_HOTKEY:
        if (event->hotkey.id == RECORD_HOTKEY_ID) app.input.hotkey = app.input.changed = true;
        break;
    case OS_EVENT_MOUSE_BUTTON:
        if (event->button.code != OS_MOUSE_LEFT) break;
        if (event->button.state == OS_BUTTON_UP) {
            app.input.released = true;
        } else {
            app.input.pressed = true;
            app.pressed_at_x = event->button.x;
            app.pressed_at_y = event->button.y;
        }
        app.input.changed = true;
        break;
    case OS_EVENT_DISPLAY_CHANGE:
        app.monitors_changed = true;
        break;
    default:
        break;
    }
}

void app_finish(void) {
    static bool finished;
    if (finished) return;
    finished = true;
    recording_quit();
    finishing_quit();
    share_copy_quit();
    hotkey_unregister();
    state_save();
}

int app_main(void) {
    app_log_open();
    os_init();
    os_set_crash_handler(recording_crash_hook);
    const u16 control = OS_WINDOW_PIXEL_BUFFER | OS_WINDOW_BORDERLESS | OS_WINDOW_TOPMOST;
    // The edges let clicks through; neither they nor the grab box get a task-bar button.
    const u16 grab = control | OS_WINDOW_TOOL;
    const u16 edge = grab | OS_WINDOW_TRANSPARENT;
    app.edge_top = os_open_window(500, 100, title("Vornby Top"), edge);
    app.edge_bottom = os_open_window(500, 100, title("Vornby Bottom"), edge);
    app.edge_left = os_open_window(100, 500, title("Vornby Left"), edge);
    app.edge_right = os_open_window(100, 500, title("Vornby Right"), edge);
    app.control_window = os_open_window(500, 500, title("Vornby  |  " VORNBY_VERSION), control);
    app.grab_window = os_open_window(500, 500, title("Vornby grab"), grab);
    if (!app.edge_top || !app.edge_bottom || !app.edge_left || !app.edge_right ||
        !app.control_window || !app.grab_window) {
        // This origin and wording are the program's known first words on a
        // failed start, kept as they are for whoever looks for them.
        os_print("[%s:%i] ", "main_init", 1370);
        os_print("WTF failed to open window!\n");
        return 1;
    }
    os_set_event_callback(app_event_callback);

    frame_timing_start(&frame_timing, os_get_main_monitor()->refresh_rate, os_ticks());
    for (;;) {
        frame_timing_advance(&frame_timing, os_ticks());
        os_pump_messages();
        if (!FrameFunction) break;
        message_expire(os_time_milliseconds());
        FrameFunction();
        if (!FrameFunction) break;
        finishing_step();
        share_copy_step();
        app.input = FrameInput{false, false, false, false, false};
        // A quiet idle state sleeps on the event source instead of running
        // frames that would find nothing to do; whatever wakes it still gets
        // its frame on the fixed period. The timing needs nothing else: the
        // next frame's delta covers the wait. A running conversion or
        // finishing step is read a few times a second, so it moves on.
        u32 wait_ms = message_wait_ms(idle_wait_ms(), os_time_milliseconds());
        if (wait_ms > background_wait_ms && (share_copy_busy() || finishing_busy())) wait_ms = background_wait_ms;
        if (wait_ms && !os_wait_for_events(wait_ms)) continue;
        i64 remaining = frame_timing.period_us -
                        os_ticks_to_microseconds(os_ticks() - frame_timing.now_ticks);
        if (remaining > 0) os_sleep_us((u32)remaining);
    }
    app_finish();
    return 0;
}
