#include "main_loop.h"

#include <string.h>

#include "../ui/frame.h"
#include "../ui/panel.h"
#include "app.h"
#include "app_files.h"
#include "command_line.h"
#include "countdown.h"
#include "finishing.h"
#include "frame_timing.h"
#include "region.h"
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
    {paused_frame, paused_enter, APP_MODE_PAUSED},
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
        if (event->hotkey.id == PAUSE_HOTKEY_ID) app.input.pause = app.input.changed = true;
        break;
    case OS_EVENT_INSTANCE_MESSAGE: {
        // "vornby --toggle" and "--pause" from a desktop shortcut: the hotkeys'
        // work. Read first: showing the panel delivers events of its own, which
        // overwrite the event record.
        const char *text = event->message.text;
        bool toggle = strcmp(text, app_toggle_message) == 0, pause = strcmp(text, app_pause_message) == 0;
        bool show = strcmp(text, app_show_message) == 0;
        if (toggle) app.input.hotkey = app.input.changed = true;
        if (pause) app.input.pause = app.input.changed = true;
        if (show) {
            os_restore_window(app.control_window);
            frame_show(&app, app_mode());
            panel_draw(&app, app_mode());
            app.minimised = false;
        }
        break;
    }
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
    case OS_EVENT_WINDOW_RESIZE:
        // A window manager may size the panel for a moment before it keeps to
        // its fixed size (a tiling one does): what was drawn at the other size
        // no longer fits the buffer, so it is drawn again.
        if (event->window == app.control_window && !app.minimised) panel_draw(&app, app_mode());
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

static const u16 control_window_flags = OS_WINDOW_PIXEL_BUFFER | OS_WINDOW_BORDERLESS | OS_WINDOW_TOPMOST;
static const char panel_title[] = "Vornby  |  " VORNBY_VERSION;
enum { ALREADY_RUNNING_SHOW_MS = 5000 };

static bool already_running_seen;

static void already_running_event(OsEvent *event) {
    if (event->kind == OS_EVENT_WINDOW_CLOSE || (event->kind == OS_EVENT_MOUSE_BUTTON && event->button.state == OS_BUTTON_UP))
        already_running_seen = true;
}

// A second start of a running copy: a panel of its own says so for a few
// seconds, or until clicked, where the panel would be; nothing of the first
// copy's (its log, its state, its recordings) is touched.
static int tell_already_running(void) {
    app.control_window = os_open_window(500, 500, title(panel_title), control_window_flags);
    if (!app.control_window) {
        os_print("Vornby is already running\n");
        return 0;
    }
    app_startup_view();
    update_zone_sizes();
    panel_place(&app, &app.panel_x, &app.panel_y);
    tell_user(MESSAGE_NOTE, false, "Vornby is already running");
    os_set_event_callback(already_running_event);
    i64 until = os_time_milliseconds() + ALREADY_RUNNING_SHOW_MS;
    while (!already_running_seen && os_time_milliseconds() < until) {
        os_wait_for_events(100);
        os_pump_messages();
    }
    return 0;
}

int app_main(int argc, char **argv) {
    // First of all: on Linux it gives closed standard descriptors /dev/null,
    // so neither the log nor the display connection becomes standard output.
    os_init();
    AppCommand command = app_command_parse(argc, argv);
    if (command == APP_COMMAND_HELP || command == APP_COMMAND_UNKNOWN) {
        os_print("%s", app_usage);
        return command == APP_COMMAND_HELP ? 0 : 2;
    }
    if (command == APP_COMMAND_VERSION) {
        os_print("vornby %s\n", VORNBY_VERSION);
        return 0;
    }
    char instance[65];
    app_instance_name(instance);
    StrSlice name = text_slice(instance);
    if (command == APP_COMMAND_TOGGLE && os_instance_send(name, text_slice(app_toggle_message)) == OS_INSTANCE_DELIVERED)
        return 0;
    if (command == APP_COMMAND_PAUSE) {
        // Nothing records where none runs: this run does not start one.
        if (os_instance_send(name, text_slice(app_pause_message)) == OS_INSTANCE_DELIVERED) return 0;
        os_print("Vornby is not running: nothing to pause.\n");
        return 1;
    }
    // Two copies of one installation would share the log, the state file and
    // the names of new recordings.
    i32 claim = os_instance_claim(name);
    if (claim == OS_INSTANCE_HELD) {
        os_instance_send(name, text_slice(app_show_message));
        return tell_already_running();
    }
    // Asked to toggle with none running: this run is the one, and it records
    // as soon as it is idle.
    bool toggle_when_idle = command == APP_COMMAND_TOGGLE;
    app_log_open();
    if (claim != OS_INSTANCE_CLAIMED) os_print("* WARNING * Could not claim the instance name %s; a second copy would not be noticed.\n", instance);
    os_set_crash_handler(recording_crash_hook);
    const u16 control = control_window_flags;
    // The edges let clicks through; neither they nor the grab box get a task-bar button.
    const u16 grab = control | OS_WINDOW_TOOL;
    const u16 edge = grab | OS_WINDOW_TRANSPARENT;
    app.edge_top = os_open_window(500, 100, title("Vornby Top"), edge);
    app.edge_bottom = os_open_window(500, 100, title("Vornby Bottom"), edge);
    app.edge_left = os_open_window(100, 500, title("Vornby Left"), edge);
    app.edge_right = os_open_window(100, 500, title("Vornby Right"), edge);
    app.control_window = os_open_window(500, 500, title(panel_title), control);
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
        if (toggle_when_idle && FrameFunction == app_states[APP_STATE_IDLE].frame) {
            app.input.hotkey = app.input.changed = true;
            toggle_when_idle = false;
        }
        FrameFunction();
        if (!FrameFunction) break;
        finishing_step();
        share_copy_step();
        app.input = FrameInput{false, false, false, false, false, false};
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
