#include "recording.h"

#include "app.h"
#include "app_files.h"
#include "encoder.h"
#include "encoder_command.h"
#include "input.h"
#include "messages.h"
#include "output_name.h"
#include "share_copy.h"
#include "state.h"

// How long a quit waits for an encoder that shows no sign of progress, and
// for one that does but never ends.
enum { QUIT_SILENCE_LIMIT_MS = 5000, QUIT_TOTAL_LIMIT_MS = 30000 };
// How long a crashing recorder waits for the encoder to finish its file.
enum { CRASH_WAIT_MS = 2000 };

static EncoderJob recording;
static i32 recording_fps;

// The encoder cannot create the folder itself, and finds out only after it
// started that it cannot write there, and then says so in its own words.
// False, with the message shown, when the recording cannot go there.
static bool output_folder_ready(void) {
    StrSlice folder = app_output_folder();
    bool ready = false;
    // Without a home there is no Videos folder: never the file system's root.
    if (!folder.data) {
        tell_user(MESSAGE_ERROR, false, "No folder for the recordings: there is no home folder");
    } else if (os_make_directories(folder) != 0) { // a user's Videos folder may be missing too
        os_print("* ERROR * Could not create the output folder %s\n", folder.data);
        tell_user(MESSAGE_ERROR, true, "Could not create the output folder");
    } else if (!os_folder_writable(folder)) {
        os_print("* ERROR * Could not write into the output folder %s\n", folder.data);
        tell_user(MESSAGE_ERROR, true, "Could not write into the output folder");
    } else {
        ready = true;
    }
    os_free_string(&folder);
    return ready;
}

bool recording_enter(void) {
    if (!output_folder_ready()) return false;
    TextBuilder path = builder_create(256);
    OsDateTime time = os_local_time();
    if (!output_path_choose(&path, &time)) {
        tell_user(MESSAGE_ERROR, false, "No free name for a recording in the output folder");
        os_free(path.data);
        return false;
    }
    TextBuilder command = builder_create(500);
    const char *output = path.data;
    recording_command(&command, output);
    bool started = encoder_start(&recording, builder_slice(&command), output, true);
    os_free(path.data);
    os_free(command.data);
    if (!started) {
        if (!encoder_findable()) tell_user(MESSAGE_ERROR, true, "%s", encoder_missing_text());
        else tell_user(MESSAGE_ERROR, true, "Could not start %s", encoder_file_name());
        return false;
    }
    app.countdown_ms = 0;
    recording_fps = app.fps;
    return true;
}

// The recording's length: the encoder's own count in its last progress line,
// else the time since the start.
static i32 recorded_seconds(void) {
    if (recording.progress_us >= 0) return (i32)(recording.progress_us / 1000000);
    return (i32)((os_time_milliseconds() - recording.started_ms) / 1000);
}

// The encoder is gone: tell the user what came of it: where the file went,
// or why there is none. A file written on the user's stop gets its share
// copy, unless the program is ending.
static void encoder_finished(EncoderEnd end, bool quitting) {
    if (end == ENCODER_FAILED) {
        os_print("* ERROR * The encoder ended with exit code %i; its last output follows.\n", recording.exit_code);
        if (recording.tail_length > 0) {
            os_print("%.*s", recording.tail_length, recording.tail);
            if (recording.tail[recording.tail_length - 1] != '\n') os_print("\n");
        }
        StrSlice line = encoder_last_line(&recording);
        if (line.length > 0) tell_user(MESSAGE_ERROR, true, "Recording failed: %.*s", (int)line.length, line.data);
        else tell_user(MESSAGE_ERROR, true, "Recording failed: the encoder ended with code %i", recording.exit_code);
    } else {
        i64 size = os_file_size(builder_slice(&recording.output));
        const char *recorded = recording.output.data ? recording.output.data : "";
        i32 seconds = recorded_seconds();
        if (size < 0) {
            os_print("* ERROR * The encoder ended but %s was not written.\n", recorded);
            tell_user(MESSAGE_ERROR, true, "No file was written");
        } else {
            os_log("saved %s, %lli bytes; the encoder's last output:\n%.*s\n", recorded, (long long)size,
                   recording.tail_length, recording.tail);
            char saved[MESSAGE_CAPACITY];
            os_format(saved, sizeof saved, "Saved %s \xE2\x80\x94 %.1f MB, %i:%02i", path_file_name(recorded),
                      (f64)size / 1e6, seconds / 60, seconds % 60);
            tell_user(MESSAGE_DONE, false, "%s", saved);
            if (end == ENCODER_FINISHED && recording.stop_requested && !quitting && size > 0)
                share_copy_queue(recorded, recording_fps, (i32)(os_time_milliseconds() - recording.started_ms), saved);
        }
    }
    encoder_close(&recording);
}

void recording_frame(void) {
    if (!encoder_running(&recording)) {
        encoder_finished(encoder_collect(&recording), false);
        return state_switch(APP_STATE_IDLE);
    }
    if (encoder_pump(&recording) < 0) {
        // Without its output pipe the encoder would block, so end it rather
        // than leave it behind, and start the next recording clean. The
        // line's wording is the program's own, kept for whoever looks for it.
        os_print("ERROR!!\n");
        tell_user(MESSAGE_ERROR, true, "Lost the encoder's output; it was stopped");
        encoder_close(&recording);
        return state_switch(APP_STATE_IDLE);
    }
    if (app.input.hotkey) encoder_request_stop(&recording);
    ElementId pressed = busy_input();
    if (pressed == ELEMENT_RECORD) encoder_request_stop(&recording);
    else if (pressed == ELEMENT_CLOSE) state_quit(); // recording_quit ends the encoder
}

void recording_crash_hook(u32, const char *, u64, u64) { encoder_crash_stop(&recording, CRASH_WAIT_MS); }

void recording_quit(void) {
    if (!recording.started) return;
    // A killed encoder leaves an MP4 without its index, which no player
    // opens. A large recording can take longer than the limit to finish, so
    // the limit counts silence: output or a growing file resets it.
    i64 asked_ms = os_time_milliseconds();
    EncoderEnd end = encoder_wait(&recording, true, QUIT_SILENCE_LIMIT_MS, QUIT_TOTAL_LIMIT_MS);
    if (end == ENCODER_KILLED) {
        if (os_time_milliseconds() - asked_ms >= QUIT_TOTAL_LIMIT_MS)
            os_print("* WARNING * The encoder was still busy 30 s after it was asked to finish and was stopped.\n");
        else os_print("* WARNING * The encoder did not finish within 5 s of silence and was stopped.\n");
        encoder_close(&recording);
        return;
    }
    encoder_finished(end, true);
}
