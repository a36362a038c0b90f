#include "sources.h"

#include <string.h>

#include "app.h"
#include "app_files.h"
#include "messages.h"

// Where the desktop's permission to share the screen is kept, so that it asks
// the user once, not at every recording.
static const char restore_token_file[] = "_vornby.screen-token";

static OsCapture *screen;
static OsSoundCapture *sound;
static OsCaptureStatus screen_status;
static bool sound_loss_told, screen_end_told;

static void start_screen(void) {
    StrSlice token = app_setting_read(restore_token_file);
    OsCaptureSettings settings = {{app.region_x, app.region_y, app.region_w, app.region_h}, app.fps, app.draw_mouse,
                                  token};
    screen = os_capture_start(&settings);
    os_free_file(&token);
    tell_user(MESSAGE_DONE, false, "Asking the desktop for the screen\xE2\x80\xA6");
}

// The computer's sound where this process streams it; on a platform without
// that, the encoder's own input reads it.
static void start_sound(RecordingInputs *inputs) {
    sound = os_sound_start(OS_SOUND_FROM_OUTPUT);
    OsSoundStatus status = sound ? os_sound_status(sound) : OsSoundStatus{};
    if (sound && status.state == OS_SOUND_NOT_AVAILABLE) {
        os_sound_stop(sound);
        sound = nullptr;
        return;
    }
    if (sound && status.state == OS_SOUND_WAITING) {
        static char pipe[sizeof status.pipe_name];
        memcpy(pipe, status.pipe_name, sizeof pipe);
        inputs->sound_pipe = pipe;
        return;
    }
    os_sound_stop(sound);
    sound = nullptr;
    inputs->system_sound = false;
    tell_user(MESSAGE_NOTE, false, "Recording without the computer's sound: %s",
              status.reason[0] ? status.reason : "it could not be captured");
}

void sources_plan(RecordingInputs *inputs) {
    bool named = app.audio_device.length > 0;
    *inputs = RecordingInputs{};
    inputs->device = app.record_audio && named;
    inputs->system_sound = app.record_audio && (app.system_sound == SYSTEM_SOUND_YES ||
                                                (app.system_sound == SYSTEM_SOUND_AUTO && !named));
}

SourcesState sources_start(RecordingInputs *inputs) {
    sources_plan(inputs);
    sound_loss_told = screen_end_told = false;
    screen_status = OsCaptureStatus{};
    if (inputs->system_sound) start_sound(inputs);
    if (os_capture_needed()) start_screen();
    return screen ? sources_poll(inputs) : SOURCES_READY;
}

static void keep_restore_token(void) {
    StrSlice kept = app_setting_read(restore_token_file);
    i64 length = (i64)strlen(screen_status.restore_token);
    bool same = kept.length == length && (length == 0 || memcmp(kept.data, screen_status.restore_token, (size_t)length) == 0);
    os_free_file(&kept);
    if (length > 0 && !same && !app_setting_write(restore_token_file, (u32)length, screen_status.restore_token))
        os_print("* WARNING * The desktop's permission to share the screen could not be kept; it will ask again.\n");
}

// The panel's words for why the desktop gave no screen.
static const char *screen_failure(u8 result) {
    switch (result) {
    case OS_CAPTURE_NO_PORTAL: return "This desktop offers no screen sharing (no desktop portal)";
    case OS_CAPTURE_NO_PIPEWIRE: return "The desktop's screen sharing did not start (PipeWire)";
    case OS_CAPTURE_CANCELLED: return "Screen sharing was declined: nothing was recorded";
    case OS_CAPTURE_STREAM_ENDED: return "The desktop stopped sharing the screen";
    default: return "The desktop's screen could not be recorded";
    }
}

SourcesState sources_poll(RecordingInputs *inputs) {
    if (!screen) return SOURCES_READY;
    os_capture_status(screen, &screen_status);
    if (screen_status.state == OS_CAPTURE_STARTING) return SOURCES_WAITING;
    if (screen_status.state == OS_CAPTURE_ENDED) {
        os_print("* ERROR * %s\n", screen_status.message);
        tell_user(MESSAGE_ERROR, true, "%s", screen_failure(screen_status.result));
        return SOURCES_FAILED;
    }
    inputs->screen_pipe = screen_status.pipe_path;
    inputs->screen_width = screen_status.width;
    inputs->screen_height = screen_status.height;
    inputs->screen_rate = screen_status.frame_rate;
    keep_restore_token();
    if (screen_status.partial) tell_user(MESSAGE_NOTE, false, "%s", screen_status.message);
    else message_dismiss(); // the question to the desktop is answered
    return SOURCES_READY;
}

bool sources_watch(void) {
    if (sound && !sound_loss_told) {
        OsSoundStatus status = os_sound_status(sound);
        if (status.state == OS_SOUND_DEVICE_LOST || status.state == OS_SOUND_FAILED) {
            sound_loss_told = true;
            tell_user(MESSAGE_NOTE, false, "The computer's sound stopped: %s; the recording goes on without it",
                      status.reason);
        }
    }
    if (!screen || screen_end_told) return false;
    os_capture_status(screen, &screen_status);
    if (screen_status.state != OS_CAPTURE_ENDED || screen_status.result == OS_CAPTURE_OK) return false;
    screen_end_told = true;
    os_print("* WARNING * %s\n", screen_status.message);
    tell_user(MESSAGE_NOTE, true, "%s; the recording so far is kept", screen_failure(screen_status.result));
    return true;
}

void sources_stop_asked(void) {
    if (!screen) return;
    os_capture_status(screen, &screen_status);
    if (screen_status.frames_written > 0) return;
    os_capture_stop(screen);
    screen = nullptr;
}

void sources_stop(void) {
    os_capture_stop(screen);
    screen = nullptr;
    os_sound_stop(sound);
    sound = nullptr;
}

void sources_drop_sound(RecordingInputs *inputs, StrSlice reason) {
    inputs->device = inputs->system_sound = false;
    inputs->sound_pipe = nullptr;
    os_sound_stop(sound);
    sound = nullptr;
    sound_loss_told = false;
    tell_user(MESSAGE_NOTE, true, "Recording without sound: %.*s", (int)reason.length, reason.data);
}
