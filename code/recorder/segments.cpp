#include "segments.h"

#include <string.h>

#include "app.h"
#include "app_files.h"
#include "encoder_command.h"
#include "finishing.h"
#include "messages.h"
#include "output_name.h"
#include "sources.h"

enum {
    // Attempts at a name before giving up: another recording may take each
    // chosen name before it is reserved.
    RESERVE_ATTEMPTS = 8,
    // How long the sound runs on after the picture ended, before "q": more
    // than the sound's lateness (~0.13 s measured with PulseAudio) and the
    // 0.1 s between ffmpeg's reads of its input.
    SOUND_TAIL_MS = 600,
    // How often a paused recording rewrites its segment list, and how often
    // the panel reads the working file's size.
    KEEP_ALIVE_MS = 1000,
    SIZE_POLL_MS = 250,
    // A quick resume waits this long for the last segment to end.
    RESUME_SILENCE_MS = 5000,
    RESUME_LIMIT_MS = 15000,
};

struct Recording {
    bool open;
    bool ran; // a segment's encoder started
    TextBuilder finished; // the name the user gets
    // The kept segments' working files, each followed by its NUL; where each
    // is cut (-1: its whole length); their time and size.
    TextBuilder working;
    i64 cut_us[FINISH_WORKING_MAX];
    i32 kept;
    i64 kept_us, kept_bytes;
    i32 next_number; // the next segment's number in its file name
    i32 fps;
    // How the last segment ended: by itself (died), and its encoder's words.
    bool died;
    EncoderEnd last_end;
    i32 exit_code;
    char failure[ENCODER_LINE_SIZE];
    i32 failure_length;
    // The segment being recorded, or the last one: its working file (the
    // first one reserved before its encoder starts), its encoder.
    TextBuilder current;
    bool reserved;
    EncoderJob job;
    // What it reads; while the desktop is still asked for the screen, no
    // encoder runs yet.
    RecordingInputs inputs;
    bool waiting;
    bool sound;
    i64 picture_ended_ms; // when its picture was told to end; 0 before
    i64 current_bytes, size_read_ms, kept_alive_ms;
    i64 shown_ms; // the recorded time shown last
};
static Recording rec;

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

// Names the recording and creates its first working file, empty, before the
// encoder replaces it with -y: a file created exclusively never replaces
// another, so two recordings (of this Vornby or of another) cannot take one
// name between the choice and the encoder's start. False, said on the
// panel, when no name can be had.
static bool reserve_names(void) {
    OsDateTime time = os_local_time();
    for (i32 attempt = 0; attempt < RESERVE_ATTEMPTS; attempt++) {
        if (!output_path_choose(&rec.finished, &time)) break;
        recording_file_path(&rec.current, rec.finished.data, RECORDING_WORKING);
        if (rec.current.data && os_create_file_exclusive(builder_slice(&rec.current), 0, "") == 0) return true;
    }
    tell_user(MESSAGE_ERROR, false, "No free name for a recording in the output folder");
    return false;
}

// The next segment's working file, reserved the same way.
static bool reserve_segment(void) {
    for (i32 attempt = 0; attempt < RESERVE_ATTEMPTS; attempt++) {
        recording_segment_path(&rec.current, rec.finished.data, rec.next_number++);
        if (rec.current.data && os_create_file_exclusive(builder_slice(&rec.current), 0, "") == 0) return true;
    }
    tell_user(MESSAGE_ERROR, false, "No free name for the next part of %s", path_file_name(rec.finished.data));
    return false;
}

bool recording_open(void) {
    StrSlice folder = app_output_folder();
    bool named = output_folder_ready(folder) && reserve_names();
    os_free_string(&folder);
    if (!named) return false;
    builder_clear(&rec.working);
    rec.open = rec.reserved = true;
    rec.ran = false;
    rec.kept = 0;
    rec.kept_us = rec.kept_bytes = rec.shown_ms = 0;
    rec.next_number = 2;
    rec.fps = app.fps;
    rec.died = false;
    rec.last_end = ENCODER_FINISHED;
    rec.failure_length = 0;
    return true;
}

bool recording_is_open(void) { return rec.open; }

static void kept_paths(const char *(&paths)[FINISH_WORKING_MAX]) {
    const char *path = rec.working.data;
    for (i32 i = 0; path && i < rec.kept; i++, path += strlen(path) + 1) paths[i] = path;
}

// The kept segments and their cuts, for the next start should this run
// never get to finish them; with `alive`, also a line that changes every
// time it is written (recording_keep_alive).
static void write_segment_list(bool alive) {
    const char *paths[FINISH_WORKING_MAX];
    kept_paths(paths);
    TextBuilder text = builder_create(1024), path = builder_create(256);
    concat_list_text(&text, paths, rec.cut_us, rec.kept);
    if (alive) {
        char line[64];
        builder_append(&text, os_format(line, sizeof line, "# paused, still recording: %lli\n",
                                        (long long)os_time_milliseconds()), line);
    }
    recording_file_path(&path, rec.finished.data, RECORDING_SEGMENT_LIST);
    if (!text.data || !path.data || os_write_file(builder_slice(&path), (u32)text.length, text.data) != 0)
        os_print("* NOTE * Could not write %s; its segments are recovered without their cuts.\n",
                 path.data ? path.data : "the segment list");
    os_free(text.data);
    os_free(path.data);
}

void recording_keep_alive(void) {
    i64 now = os_time_milliseconds();
    if (rec.kept == 0 || now - rec.kept_alive_ms < KEEP_ALIVE_MS) return;
    rec.kept_alive_ms = now;
    write_segment_list(true);
}

// A segment with something in it joins the recording. Frames come at a
// constant rate, so its picture ends at frames / fps; a picture that ended
// before the sound is cut there.
static void keep_segment(EncoderEnd end, i64 size) {
    const EncoderJob &job = rec.job;
    i64 picture_us = job.frames > 0 ? job.frames * 1000000 / rec.fps : -1;
    bool cut = rec.sound && rec.picture_ended_ms != 0 && end == ENCODER_FINISHED && picture_us > 0;
    builder_append(&rec.working, rec.current.length + 1, rec.current.data);
    rec.cut_us[rec.kept] = cut ? picture_us : -1;
    // An encoder that said nothing of its progress ran this long at most.
    i64 ran_us = (os_time_milliseconds() - job.started_ms) * 1000;
    rec.kept_us += picture_us > 0 ? picture_us : job.progress_us > 0 ? job.progress_us : ran_us;
    rec.kept_bytes += size;
    rec.kept++;
    write_segment_list(false);
}

static void print_failure(const EncoderJob &job) {
    os_print("* ERROR * The encoder ended with exit code %i; its last output follows.\n", job.exit_code);
    if (job.tail_length > 0) {
        os_print("%.*s", job.tail_length, job.tail);
        if (job.tail[job.tail_length - 1] != '\n') os_print("\n");
    }
}

// The one place where a segment's encoder is done with, however it ended:
// its last words logged, its working file kept or, empty, removed.
static void segment_end(EncoderEnd end) {
    EncoderJob &job = rec.job;
    sources_stop();
    if (end == ENCODER_FAILED) {
        print_failure(job);
    } else {
        os_log("the encoder's last output:\n%.*s\n", job.tail_length, job.tail);
    }
    StrSlice working = builder_slice(&rec.current);
    i64 size = os_file_size(working);
    // Empty: the name's reservation, which the encoder never wrote into. A
    // later segment stopped before its first frame adds nothing either.
    bool frameless = end == ENCODER_FINISHED && job.frames == 0 && rec.kept > 0;
    if (size == 0 || (size > 0 && frameless)) encoder_delete_file(working);
    else if (size > 0) keep_segment(end, size);
    rec.died = !job.stop_requested && rec.picture_ended_ms == 0;
    rec.last_end = end;
    rec.exit_code = job.exit_code;
    StrSlice line = encoder_last_line(&job);
    rec.failure_length = line.length < ENCODER_LINE_SIZE ? (i32)line.length : ENCODER_LINE_SIZE;
    memcpy(rec.failure, line.data, (size_t)rec.failure_length);
    encoder_close(&job);
    rec.picture_ended_ms = 0;
}

static bool start_encoder(void) {
    TextBuilder command = builder_create(500);
    recording_command(&command, rec.current.data, &rec.inputs);
    rec.sound = rec.inputs.device || rec.inputs.system_sound;
    rec.picture_ended_ms = 0;
    rec.current_bytes = rec.size_read_ms = 0;
    bool started = encoder_start(&rec.job, builder_slice(&command), rec.current.data, true);
    os_free(command.data);
    rec.ran = rec.ran || started;
    if (started) return true;
    if (!encoder_findable()) tell_user(MESSAGE_ERROR, true, "%s", encoder_missing_text());
    else tell_user(MESSAGE_ERROR, true, "Could not start %s", encoder_file_name());
    return false;
}

// Nothing was recorded in this segment: its reserved name goes, and what
// would have fed the encoder.
static void abandon_segment(void) {
    sources_stop();
    os_delete_file(builder_slice(&rec.current));
    rec.waiting = false;
}

bool segment_start(void) {
    // A quick resume: the last segment ends first.
    if (rec.job.started) segment_wait(RESUME_SILENCE_MS, RESUME_LIMIT_MS);
    if (rec.kept >= FINISH_WORKING_MAX) {
        tell_user(MESSAGE_NOTE, false, "A recording has at most %i parts; %s is finished", FINISH_WORKING_MAX,
                  path_file_name(rec.finished.data));
        return false;
    }
    if (!rec.reserved && !reserve_segment()) return false;
    rec.reserved = false;
    SourcesState sources = sources_start(&rec.inputs);
    rec.waiting = sources == SOURCES_WAITING;
    if (rec.waiting) return true; // the encoder starts when the desktop answers
    if (sources == SOURCES_READY && start_encoder()) return true;
    abandon_segment();
    return false;
}

// An encoder that failed at once, having written nothing, may have failed
// on its sound (no sound server, no output device, a device that is not
// there): the recording goes on without sound rather than not at all.
static bool restarted_without_sound(EncoderEnd end) {
    if (end != ENCODER_FAILED || !rec.sound || os_file_size(builder_slice(&rec.current)) > 0) return false;
    print_failure(rec.job);
    sources_drop_sound(&rec.inputs, encoder_last_line(&rec.job));
    encoder_close(&rec.job);
    return start_encoder();
}

bool segment_running(void) { return rec.job.started || rec.waiting; }

bool segment_stopping(void) { return rec.job.stop_requested || rec.picture_ended_ms != 0; }

void segment_stop(void) {
    if (rec.waiting) return abandon_segment(); // the user gave up waiting for the desktop
    if (!rec.job.started || segment_stopping()) return;
    // A screen that sent no frame yet leaves its encoder deaf to "q".
    sources_stop_asked();
    if (rec.sound && encoder_send(&rec.job, recording_picture_end_input)) {
        i64 now = os_time_milliseconds();
        rec.picture_ended_ms = now > 0 ? now : 1;
    } else {
        encoder_request_stop(&rec.job);
    }
}

// While the desktop is asked for the screen: the encoder starts when it
// answers.
static SegmentStep wait_for_sources(void) {
    SourcesState sources = sources_poll(&rec.inputs);
    if (sources == SOURCES_WAITING) return SEGMENT_RUNNING;
    rec.waiting = false;
    if (sources == SOURCES_READY && start_encoder()) return SEGMENT_RUNNING;
    abandon_segment();
    return SEGMENT_NONE;
}

SegmentStep segment_step(void) {
    if (rec.waiting) return wait_for_sources();
    if (!rec.job.started) return SEGMENT_NONE;
    if (!encoder_running(&rec.job)) {
        EncoderEnd end = encoder_collect(&rec.job);
        if (restarted_without_sound(end)) return SEGMENT_RUNNING;
        segment_end(end);
        return SEGMENT_ENDED;
    }
    // The desktop stopped sharing the screen: the recording so far is kept.
    if (sources_watch()) segment_stop();
    if (encoder_pump(&rec.job) < 0) {
        // Without its output pipe the encoder would block, so end it rather
        // than leave it behind, and start the next recording clean. The
        // line's wording is the program's own, kept for whoever looks for it.
        os_print("ERROR!!\n");
        tell_user(MESSAGE_ERROR, true, "Lost the encoder's output; it was stopped");
        os_process_kill(&rec.job.process);
        segment_end(ENCODER_KILLED);
        return SEGMENT_LOST;
    }
    if (rec.picture_ended_ms != 0 && os_time_milliseconds() - rec.picture_ended_ms >= SOUND_TAIL_MS)
        encoder_request_stop(&rec.job);
    return SEGMENT_RUNNING;
}

EncoderEnd segment_wait(i32 silence_ms, i32 total_ms) {
    if (rec.waiting) abandon_segment();
    if (!rec.job.started) return rec.last_end;
    segment_stop();
    // The sound's tail, then "q".
    while (!rec.job.stop_requested) {
        if (segment_step() != SEGMENT_RUNNING) return rec.last_end;
        os_sleep_ms(10);
    }
    EncoderEnd end = encoder_wait(&rec.job, true, silence_ms, total_ms);
    segment_end(end);
    return end;
}

void segment_crash_stop(i32 wait_ms) { encoder_crash_stop(&rec.job, wait_ms); }

i64 recording_time_ms(void) {
    i64 running_us = rec.job.started && rec.job.progress_us > 0 ? rec.job.progress_us : 0;
    // The sound's tail runs on after the picture ended, and a segment's
    // length comes from its frames once it ended: the time never goes back.
    i64 ms = (rec.kept_us + running_us) / 1000;
    if (ms > rec.shown_ms) rec.shown_ms = ms;
    return rec.shown_ms;
}

i64 recording_bytes(void) {
    if (!rec.job.started) return rec.kept_bytes;
    i64 now = os_time_milliseconds();
    if (now - rec.size_read_ms >= SIZE_POLL_MS) {
        rec.size_read_ms = now;
        i64 size = os_file_size(builder_slice(&rec.current));
        if (size > 0) rec.current_bytes = size;
    }
    return rec.kept_bytes + rec.current_bytes;
}

void recording_close(bool quitting) {
    if (!rec.open) return;
    rec.open = false;
    if (rec.kept > 0) {
        const char *paths[FINISH_WORKING_MAX];
        kept_paths(paths);
        bool stopped = !rec.died;
        FinishRequest request = {paths, rec.kept, rec.finished.data, stopped ? FINISH_STOPPED : FINISH_DIED,
                                 stopped && rec.last_end == ENCODER_FINISHED && !quitting, rec.fps,
                                 (i32)(rec.kept_us / 1000), rec.cut_us};
        finishing_queue(&request);
    } else if (!rec.ran) {
        // Its start said why already.
    } else if (rec.last_end == ENCODER_FAILED) {
        if (rec.failure_length > 0)
            tell_user(MESSAGE_ERROR, true, "Recording failed: %.*s", rec.failure_length, rec.failure);
        else tell_user(MESSAGE_ERROR, true, "Recording failed: the encoder ended with code %i", rec.exit_code);
    } else {
        os_print("* ERROR * The encoder ended but %s was not written.\n", rec.current.data ? rec.current.data : "");
        tell_user(MESSAGE_ERROR, true, "No file was written");
    }
}
