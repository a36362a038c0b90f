#include "share_copy.h"

#include <string.h>

#include "app.h"
#include "app_files.h"
#include "encoder.h"
#include "encoder_command.h"
#include "messages.h"
#include "output_name.h"

void share_copy_path(TextBuilder *copy, const char *recording, u8 kind, i32 number) {
    recording_stem(copy, recording);
    if (kind != SHARE_COPY_GIF) builder_append_text(copy, ".share");
    append_name_number(copy, number);
    builder_append_text(copy, kind == SHARE_COPY_GIF ? ".gif" : ".mp4");
}

//~ The queue and the running conversion

struct ShareJob {
    TextBuilder recording;
    i32 fps;
    i32 duration_ms;
    char saved[MESSAGE_CAPACITY]; // the recording's confirmation
};

enum { SHARE_QUEUE_SIZE = 16, SHARE_QUIT_WAIT_MS = 3000, SHARE_NAME_ATTEMPTS = 1000 };

static ShareJob queue[SHARE_QUEUE_SIZE];
static i32 queued;

static bool running;
static EncoderJob conversion;
static ShareJob current;
static i32 shown_tenths;

void share_copy_queue(const char *recording, i32 fps, i32 duration_ms, const char *saved_text) {
    if (app.share_copy == SHARE_COPY_NONE) return;
    if (queued == SHARE_QUEUE_SIZE) {
        tell_user(MESSAGE_NOTE, false, "Too many share copies waiting; %s gets none.", path_file_name(recording));
        return;
    }
    ShareJob &job = queue[queued++];
    job.recording = builder_create(256);
    builder_append_text(&job.recording, recording);
    job.fps = fps;
    job.duration_ms = duration_ms;
    os_format(job.saved, sizeof job.saved, "%s", saved_text);
}

bool share_copy_busy(void) { return running || queued > 0; }

static const char *copy_name(void) { return path_file_name(conversion.output.data ? conversion.output.data : ""); }

static void forget_current(void) {
    encoder_close(&conversion);
    os_free(current.recording.data);
    current = ShareJob{};
    running = false;
}

// "Saved ... · share copy 40%" while the recording's confirmation is on the
// panel, so the user sees both; "Share copy: name 40%" once it has gone.
static void show_progress(i32 percent) {
    // Standard output is a log, so only every tenth of the way is shown.
    if (percent / 10 == shown_tenths) return;
    shown_tenths = percent / 10;
    const char *saved = current.saved;
    i64 saved_length = (i64)strlen(saved);
    bool on_panel = saved_length > 0 && app.message_kind == MESSAGE_DONE &&
                    strncmp(app.message, saved, (size_t)saved_length) == 0;
    if (on_panel) tell_user(MESSAGE_DONE, false, "%s \xC2\xB7 share copy %i%%", saved, percent);
    else tell_user(MESSAGE_DONE, false, "Share copy: %s %i%%", copy_name(), percent);
}

static void read_progress(void) {
    if (conversion.progress_us < 0) return;
    i64 total_us = (i64)current.duration_ms * 1000;
    i32 percent = total_us > 0 ? (i32)(conversion.progress_us / total_us * 100 +
                                       conversion.progress_us % total_us * 100 / total_us)
                               : 0;
    show_progress(percent > 99 || percent < 0 ? 99 : percent);
}

static void start_next(void) {
    current = queue[0];
    queued--;
    memmove(queue, queue + 1, sizeof(ShareJob) * (size_t)queued);
    if (!current.recording.data) return forget_current();

    // A copy of that name may be the user's: one whose recording was deleted
    // and its name used again. It is never overwritten.
    TextBuilder copy = builder_create(256);
    i32 number = 1;
    do share_copy_path(&copy, current.recording.data, app.share_copy, number);
    while (copy.data && os_path_exists(builder_slice(&copy)) && ++number <= SHARE_NAME_ATTEMPTS);
    TextBuilder command = builder_create(500);
    bool named = copy.data && number <= SHARE_NAME_ATTEMPTS;
    if (named) {
        ShareConversion what = {current.recording.data, copy.data, app.share_copy, app.share_copy_max_width,
                                current.fps};
        share_copy_command(&command, &what);
        running = encoder_start(&conversion, builder_slice(&command), copy.data, false);
    }
    os_free(command.data);
    os_free(copy.data);
    const char *recording = path_file_name(current.recording.data);
    if (!named) {
        tell_user(MESSAGE_ERROR, false, "No free name for the share copy of %s.", recording);
        return forget_current();
    }
    if (!running) {
        tell_user(MESSAGE_ERROR, false, "The share copy of %s could not start.", recording);
        return forget_current();
    }
    shown_tenths = -1;
    show_progress(0);
}

static void remove_partial(void) { encoder_delete_file(builder_slice(&conversion.output)); }

static void finish(EncoderEnd end) {
    read_progress();
    i64 size = os_file_size(builder_slice(&conversion.output));
    const char *name = copy_name();
    if (end == ENCODER_KILLED) {
        remove_partial();
        tell_user(MESSAGE_NOTE, false, "The share copy %s was stopped at exit and removed.", name);
    } else if (end == ENCODER_FINISHED && size > 0) {
        if (size >= 1024 * 1024)
            tell_user(MESSAGE_DONE, false, "Share copy ready: %s (%.1f MB)", name, (f64)size / (1024.0 * 1024.0));
        else
            tell_user(MESSAGE_DONE, false, "Share copy ready: %s (%i KB)", name, (i32)((size + 1023) / 1024));
    } else {
        remove_partial();
        StrSlice reason = encoder_last_line(&conversion);
        i32 code = conversion.exit_known ? conversion.exit_code : -1;
        tell_user(MESSAGE_ERROR, false, "The share copy %s failed (exit code %i)%s%.*s; nothing was kept.", name,
                  code, reason.length ? ": " : "", (int)reason.length, reason.data);
    }
    forget_current();
}

void share_copy_step(void) {
    if (running) {
        if (encoder_running(&conversion)) {
            while (encoder_pump(&conversion) > 0) {
            }
            read_progress();
        } else {
            finish(encoder_collect(&conversion));
        }
    }
    if (!running && queued > 0) start_next();
}

void share_copy_quit(void) {
    for (i32 i = 0; i < queued; i++) os_free(queue[i].recording.data);
    queued = 0;
    // It reads no input: it cannot be asked to stop early.
    if (running) finish(encoder_wait(&conversion, false, SHARE_QUIT_WAIT_MS, SHARE_QUIT_WAIT_MS));
}
