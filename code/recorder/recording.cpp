#include "recording.h"

#include "../ui/panel.h"
#include "app.h"
#include "input.h"
#include "segments.h"
#include "state.h"

// How long a quit waits for an encoder that shows no sign of progress, and
// for one that does but never ends.
enum { QUIT_SILENCE_LIMIT_MS = 5000, QUIT_TOTAL_LIMIT_MS = 30000 };
// How long a crashing recorder waits for the encoder to finish its file.
enum { CRASH_WAIT_MS = 2000 };
// The panel's size figure changes by tenths of a megabyte.
static const i64 shown_bytes_step = 100000;

// Stop was asked while paused, before the last segment had ended.
static bool stop_when_ended;

static void read_progress(void) {
    app.recorded_ms = recording_time_ms();
    app.recorded_bytes = recording_bytes();
}

// The text line follows the recording: redrawn when a figure it shows changes.
static void show_progress(void) {
    i64 shown_s = app.recorded_ms / 1000, shown_size = app.recorded_bytes / shown_bytes_step;
    read_progress();
    bool changed = app.recorded_ms / 1000 != shown_s || app.recorded_bytes / shown_bytes_step != shown_size;
    if (changed && !app.minimised) panel_draw(&app, app_mode());
}

bool recording_enter(void) {
    if (!recording_is_open() && !recording_open()) return false;
    if (!segment_start()) {
        recording_close(false);
        return false;
    }
    app.countdown_ms = 0;
    read_progress();
    return true;
}

// What the record and pause controls (and their hotkeys) asked for this frame.
struct Asked {
    bool stop, pause;
};

static Asked asked_this_frame(void) {
    Asked asked = {app.input.hotkey, app.input.pause};
    ElementId pressed = busy_input();
    if (pressed == ELEMENT_RECORD) asked.stop = true;
    else if (pressed == ELEMENT_PAUSE) asked.pause = true;
    else if (pressed == ELEMENT_CLOSE) state_quit(); // recording_quit ends the segment
    return asked;
}

void recording_frame(void) {
    if (segment_step() != SEGMENT_RUNNING) {
        recording_close(false);
        return state_switch(APP_STATE_IDLE);
    }
    Asked asked = asked_this_frame();
    if (!FrameFunction) return;
    if (asked.stop) segment_stop();
    // A stop already under way is not turned into a pause.
    else if (asked.pause && !segment_stopping()) return state_switch(APP_STATE_PAUSED);
    show_progress();
}

bool paused_enter(void) {
    segment_stop();
    stop_when_ended = false;
    read_progress();
    return true;
}

void paused_frame(void) {
    // The last segment ends in the background.
    segment_step();
    Asked asked = asked_this_frame();
    if (!FrameFunction) return;
    if (asked.stop) stop_when_ended = true;
    if (stop_when_ended) {
        if (segment_running()) return;
        recording_close(false);
        return state_switch(APP_STATE_IDLE);
    }
    if (asked.pause) return state_switch(APP_STATE_RECORDING);
    recording_keep_alive();
    show_progress();
}

void recording_crash_hook(u32, const char *, u64, u64) { segment_crash_stop(CRASH_WAIT_MS); }

void recording_quit(void) {
    if (!recording_is_open()) return;
    // Asked, the encoder writes its last second too; killed, it loses that.
    // A loaded machine can take longer than the limit to finish, so the
    // limit counts silence: output or a growing file resets it; but one that
    // keeps busy is not waited for without end. The working file keeps what
    // was written even so.
    i64 asked_ms = os_time_milliseconds();
    if (segment_running() && segment_wait(QUIT_SILENCE_LIMIT_MS, QUIT_TOTAL_LIMIT_MS) == ENCODER_KILLED) {
        if (os_time_milliseconds() - asked_ms >= QUIT_TOTAL_LIMIT_MS)
            os_print("* WARNING * The encoder was still busy %i s after it was asked to finish and was stopped.\n",
                     QUIT_TOTAL_LIMIT_MS / 1000);
        else os_print("* WARNING * The encoder did not finish within %i s of silence and was stopped.\n",
                      QUIT_SILENCE_LIMIT_MS / 1000);
    }
    recording_close(true);
}
