#include "recording.h"

#include "app.h"
#include "app_files.h"
#include "encoder.h"
#include "encoder_command.h"
#include "finishing.h"
#include "input.h"
#include "messages.h"
#include "output_name.h"
#include "sources.h"
#include "state.h"

// How long a quit waits for an encoder that shows no sign of progress, and
// for one that does but never ends.
enum { QUIT_SILENCE_LIMIT_MS = 5000, QUIT_TOTAL_LIMIT_MS = 30000 };
// How long a crashing recorder waits for the encoder to finish its file.
enum { CRASH_WAIT_MS = 2000 };

// Attempts at a name before giving up: another recording may take each
// chosen name before it is reserved.
enum { RESERVE_ATTEMPTS = 8 };

static EncoderJob recording;
static i32 recording_fps;
static RecordingInputs inputs;
// The desktop is still being asked for the screen: no encoder yet.
static bool waiting_for_sources;
// The name the user gets, and the working file the encoder writes until then.
static TextBuilder recording_finished, recording_working;

// The encoder cannot create the folder itself, and finds out only after it
// started that it cannot write there, and then says so in its own words.
// False, with the message shown, when the recording cannot go there.
static bool output_folder_ready(StrSlice folder) {
    // Without a home there is no Videos folder: never the file system's root.
    if (!folder.data) {
        tell_user(MESSAGE_ERROR, false, "No folder for the recordings: there is no home folder");
        return false;
    }
    if (os_make_directories(folder) != 0) { // a user's Videos folder may be missing too
        os_print("* ERROR * Could not create the output folder %s\n", folder.data);
        tell_user(MESSAGE_ERROR, true, "Could not create the output folder");
        return false;
    }
    if (!os_folder_writable(folder)) {
        os_print("* ERROR * Could not write into the output folder %s\n", folder.data);
        tell_user(MESSAGE_ERROR, true, "Could not write into the output folder");
        return false;
    }
    return true;
}

// Names the recording and creates its working file, empty, before the
// encoder replaces it with -y: a file created exclusively never replaces
// another, so two recordings (of this Vornby or of another) cannot take one
// name between the choice and the encoder's start. False, said on the
// panel, when no name can be had.
static bool reserve_names(void) {
    OsDateTime time = os_local_time();
    for (i32 attempt = 0; attempt < RESERVE_ATTEMPTS; attempt++) {
        if (!output_path_choose(&recording_finished, &time)) break;
        recording_file_path(&recording_working, recording_finished.data, RECORDING_WORKING);
        if (recording_working.data && os_create_file_exclusive(builder_slice(&recording_working), 0, "") == 0)
            return true;
    }
    tell_user(MESSAGE_ERROR, false, "No free name for a recording in the output folder");
    return false;
}

static bool start_encoder(void) {
    TextBuilder command = builder_create(500);
    recording_command(&command, recording_working.data, &inputs);
    bool started = encoder_start(&recording, builder_slice(&command), recording_working.data, true);
    os_free(command.data);
    if (started) return true;
    if (!encoder_findable()) tell_user(MESSAGE_ERROR, true, "%s", encoder_missing_text());
    else tell_user(MESSAGE_ERROR, true, "Could not start %s", encoder_file_name());
    return false;
}

// Nothing was recorded: the reserved name goes, and what fed the encoder.
static void abandon(void) {
    sources_stop();
    os_delete_file(builder_slice(&recording_working));
    waiting_for_sources = false;
}

bool recording_enter(void) {
    StrSlice folder = app_output_folder();
    bool named = output_folder_ready(folder) && reserve_names();
    os_free_string(&folder);
    if (!named) return false;
    SourcesState sources = sources_start(&inputs);
    waiting_for_sources = sources == SOURCES_WAITING;
    if (sources == SOURCES_FAILED || (sources == SOURCES_READY && !start_encoder())) {
        abandon();
        return false;
    }
    app.countdown_ms = 0;
    recording_fps = app.fps;
    return true;
}

static void print_failure(void) {
    os_print("* ERROR * The encoder ended with exit code %i; its last output follows.\n", recording.exit_code);
    if (recording.tail_length > 0) {
        os_print("%.*s", recording.tail_length, recording.tail);
        if (recording.tail[recording.tail_length - 1] != '\n') os_print("\n");
    }
}

// The encoder is gone: its working file goes to the finishing step, which
// says what came of it; a failure before anything was written is said here.
// A file written on the user's stop gets its share copy, unless the program
// is ending.
static void encoder_finished(EncoderEnd end, bool quitting) {
    sources_stop();
    if (end == ENCODER_FAILED) {
        print_failure();
    } else {
        os_log("the encoder's last output:\n%.*s\n", recording.tail_length, recording.tail);
    }
    StrSlice working = builder_slice(&recording_working);
    i64 size = os_file_size(working);
    // Empty: the name's reservation, which the encoder never wrote into.
    if (size == 0) os_delete_file(working);
    if (size > 0) {
        const char *paths[1] = {working.data};
        bool asked = recording.stop_requested;
        FinishRequest request = {paths, 1, recording_finished.data, asked ? FINISH_STOPPED : FINISH_DIED,
                                 end == ENCODER_FINISHED && asked && !quitting, recording_fps,
                                 (i32)(os_time_milliseconds() - recording.started_ms)};
        finishing_queue(&request);
    } else if (end == ENCODER_FAILED) {
        StrSlice line = encoder_last_line(&recording);
        if (line.length > 0) tell_user(MESSAGE_ERROR, true, "Recording failed: %.*s", (int)line.length, line.data);
        else tell_user(MESSAGE_ERROR, true, "Recording failed: the encoder ended with code %i", recording.exit_code);
    } else {
        os_print("* ERROR * The encoder ended but %s was not written.\n", working.data ? working.data : "");
        tell_user(MESSAGE_ERROR, true, "No file was written");
    }
    encoder_close(&recording);
}

// An encoder that failed at once, having written nothing, may have failed
// on its sound (no sound server, no output device, a device that is not
// there): the recording goes on without sound rather than not at all.
static bool restarted_without_sound(EncoderEnd end) {
    bool sound = inputs.device || inputs.system_sound;
    if (end != ENCODER_FAILED || !sound || os_file_size(builder_slice(&recording_working)) > 0) return false;
    print_failure();
    sources_drop_sound(&inputs, encoder_last_line(&recording));
    encoder_close(&recording);
    return start_encoder();
}

// While the desktop is asked for the screen: the recording starts when it
// answers, and the user may give up waiting.
static void wait_for_sources(void) {
    SourcesState sources = sources_poll(&inputs);
    ElementId pressed = busy_input();
    bool give_up = app.input.hotkey || pressed == ELEMENT_RECORD || pressed == ELEMENT_CLOSE;
    if (sources == SOURCES_FAILED || give_up || (sources == SOURCES_READY && !start_encoder())) {
        abandon();
        if (pressed == ELEMENT_CLOSE) return state_quit();
        return state_switch(APP_STATE_IDLE);
    }
    waiting_for_sources = sources == SOURCES_WAITING;
}

static void request_stop(void) {
    encoder_request_stop(&recording);
    sources_stop_asked();
}

void recording_frame(void) {
    if (waiting_for_sources) return wait_for_sources();
    if (!encoder_running(&recording)) {
        EncoderEnd end = encoder_collect(&recording);
        if (restarted_without_sound(end)) return;
        encoder_finished(end, false);
        return state_switch(APP_STATE_IDLE);
    }
    if (encoder_pump(&recording) < 0) {
        // Without its output pipe the encoder would block, so end it rather
        // than leave it behind, and start the next recording clean. The
        // line's wording is the program's own, kept for whoever looks for it.
        os_print("ERROR!!\n");
        tell_user(MESSAGE_ERROR, true, "Lost the encoder's output; it was stopped");
        os_process_kill(&recording.process);
        encoder_finished(ENCODER_KILLED, false);
        return state_switch(APP_STATE_IDLE);
    }
    if (app.input.hotkey || sources_watch()) request_stop();
    ElementId pressed = busy_input();
    if (pressed == ELEMENT_RECORD) request_stop();
    else if (pressed == ELEMENT_CLOSE) state_quit(); // recording_quit ends the encoder
}

void recording_crash_hook(u32, const char *, u64, u64) { encoder_crash_stop(&recording, CRASH_WAIT_MS); }

void recording_quit(void) {
    if (waiting_for_sources) abandon();
    if (!recording.started) return;
    sources_stop_asked();
    // Asked, the encoder writes its last second too; killed, it loses that.
    // A loaded machine can take longer than the limit to finish, so the
    // limit counts silence: output or a growing file resets it; but one that
    // keeps busy is not waited for without end. The working file keeps what
    // was written even so.
    i64 asked_ms = os_time_milliseconds();
    EncoderEnd end = encoder_wait(&recording, true, QUIT_SILENCE_LIMIT_MS, QUIT_TOTAL_LIMIT_MS);
    if (end == ENCODER_KILLED) {
        if (os_time_milliseconds() - asked_ms >= QUIT_TOTAL_LIMIT_MS)
            os_print("* WARNING * The encoder was still busy 30 s after it was asked to finish and was stopped.\n");
        else os_print("* WARNING * The encoder did not finish within 5 s of silence and was stopped.\n");
    }
    encoder_finished(end, true);
}
