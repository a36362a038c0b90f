#include "finishing.h"

#include <string.h>

#include "app_files.h"
#include "encoder.h"
#include "encoder_command.h"
#include "messages.h"
#include "output_name.h"
#include "share_copy.h"

enum {
    FINISH_QUEUE_SIZE = 64,
    // A leftover is left alone while it changes: another Vornby may be
    // recording into it. Only one copy of an installation runs, so that one
    // is on another machine that shares the folder, or reaches it by another
    // path. A paused recording's files do not grow: its segment list is
    // rewritten every second instead (see recording_keep_alive).
    FINISH_SETTLE_MS = 2000,
    // The quit waits while ffmpeg shows progress, but not for ever: what is
    // left is finished at the next start.
    FINISH_QUIT_SILENCE_MS = 5000,
    FINISH_QUIT_LIMIT_MS = 20000,
    FINISH_NAME_ATTEMPTS = 1000,
};
// The remux and the check may report the end of different streams (the last
// audio packet or the last frame).
static const i64 finish_time_tolerance_us = 250000;

struct FinishJob {
    TextBuilder working; // the working files' paths, each followed by its NUL
    i32 working_count;
    i64 *cut_us;         // one per working file, -1 for none; null: none
    TextBuilder finished;
    FinishOrigin origin;
    bool share_copy;
    i32 fps, duration_ms;
    i64 found_size; // a leftover's size when it was found
    u64 found_list; // and its segment list's hash
    i64 found_ms;
};

enum FinishStage : u8 { STAGE_NONE, STAGE_SETTLING, STAGE_REMUX, STAGE_CHECK };

static FinishJob queue[FINISH_QUEUE_SIZE];
static i32 queued;
static FinishJob current;
static FinishStage stage;
static EncoderJob ffmpeg;
static TextBuilder finishing_path, list_path;
static i64 remux_frames, remux_us;
static bool quitting;

static const char *next_working(const char *path) { return path + strlen(path) + 1; }

static const char *shown_name(void) { return path_file_name(current.finished.data ? current.finished.data : ""); }

void finishing_queue(const FinishRequest *request) {
    if (queued == FINISH_QUEUE_SIZE || request->working_count < 1 || request->working_count > FINISH_WORKING_MAX) {
        os_print("* ERROR * %s is not finished now; its working file %s waits for the next start.\n",
                 request->finished, request->working[0]);
        tell_user(MESSAGE_ERROR, true, "%s waits to be finished at the next start", path_file_name(request->finished));
        return;
    }
    FinishJob &job = queue[queued++];
    job = FinishJob{};
    job.working = builder_create(256);
    for (i32 i = 0; i < request->working_count; i++)
        builder_append(&job.working, (i64)strlen(request->working[i]) + 1, request->working[i]);
    job.working_count = request->working_count;
    job.finished = builder_create(256);
    builder_append_text(&job.finished, request->finished);
    job.origin = request->origin;
    job.share_copy = request->share_copy;
    if (request->cut_us) {
        job.cut_us = (i64 *)os_alloc((u32)(sizeof(i64) * (size_t)request->working_count));
        if (job.cut_us) memcpy(job.cut_us, request->cut_us, sizeof(i64) * (size_t)request->working_count);
    }
    job.fps = request->fps;
    job.duration_ms = request->duration_ms;
    job.found_size = -1;
    job.found_ms = os_time_milliseconds();
}

bool finishing_busy(void) { return stage != STAGE_NONE || queued > 0; }

static void forget_current(void) {
    encoder_close(&ffmpeg);
    builder_clear(&list_path);
    builder_clear(&finishing_path);
    os_free(current.working.data);
    os_free(current.finished.data);
    if (current.cut_us) os_free(current.cut_us);
    current = FinishJob{};
    stage = STAGE_NONE;
}

// The working files stay where they are, for the user or the next start.
static void give_up(const char *why, StrSlice detail) {
    encoder_close(&ffmpeg);
    if (finishing_path.length > 0) encoder_delete_file(builder_slice(&finishing_path));
    os_print("* ERROR * Could not finish %s: %s%s%.*s. What was recorded is kept in:\n", shown_name(), why,
             detail.length ? ": " : "", (int)detail.length, detail.data);
    const char *path = current.working.data;
    for (i32 i = 0; path && i < current.working_count; i++, path = next_working(path)) os_print("  %s\n", path);
    tell_user(MESSAGE_ERROR, true, "Could not %s %s; it is kept as %s",
              current.origin == FINISH_RECOVERED ? "recover" : "finish", shown_name(),
              path_file_name(current.working.data ? current.working.data : ""));
    forget_current();
}

// The sum of the working files' sizes; -1 when one cannot be measured.
static i64 working_size_of(const FinishJob &job) {
    i64 total = 0;
    const char *path = job.working.data;
    for (i32 i = 0; path && i < job.working_count; i++, path = next_working(path)) {
        i64 size = os_file_size(text_slice(path));
        if (size < 0) return -1;
        total += size;
    }
    return path ? total : -1;
}

// The working files and their segment list, once what they hold is safe or
// nothing; a failed finishing keeps the list beside the files it cuts.
static void delete_working(void) {
    const char *path = current.working.data;
    for (i32 i = 0; path && i < current.working_count; i++, path = next_working(path))
        if (encoder_delete_file(text_slice(path)) != 0)
            os_print("* NOTE * The working file %s could not be deleted; its recording is finished.\n", path);
    recording_file_path(&list_path, current.finished.data ? current.finished.data : "", RECORDING_SEGMENT_LIST);
    if (current.finished.data && list_path.data) os_delete_file(builder_slice(&list_path));
}

static void start_remux(void) {
    if (!current.working.data || !current.finished.data) return give_up("out of memory", StrSlice{});
    recording_file_path(&finishing_path, current.finished.data, RECORDING_FINISHING);
    // A file of that name is this recording's own, from a finishing cut short.
    encoder_delete_file(builder_slice(&finishing_path));
    const char *input = current.working.data;
    bool cut = false;
    for (i32 i = 0; current.cut_us && i < current.working_count; i++) cut = cut || current.cut_us[i] >= 0;
    // Through the list when there is more than one, or one is cut.
    bool joined = current.working_count > 1 || cut;
    if (joined) {
        const char *paths[FINISH_WORKING_MAX];
        paths[0] = current.working.data;
        for (i32 i = 1; i < current.working_count; i++) paths[i] = next_working(paths[i - 1]);
        TextBuilder list = builder_create(1024);
        concat_list_text(&list, paths, current.cut_us, current.working_count);
        recording_file_path(&list_path, current.finished.data, RECORDING_SEGMENT_LIST);
        bool written = list.data && list_path.data && os_write_file(builder_slice(&list_path), (u32)list.length,
                                                                   list.data) == 0;
        os_free(list.data);
        if (!written) return give_up("the list of its parts could not be written", builder_slice(&list_path));
        input = list_path.data;
    }
    TextBuilder command = builder_create(512);
    finishing_command(&command, input, joined, finishing_path.data ? finishing_path.data : "");
    bool started = finishing_path.data && encoder_start(&ffmpeg, builder_slice(&command), finishing_path.data, true);
    os_free(command.data);
    if (!started) return give_up(ENCODER_NAME " could not start", StrSlice{});
    stage = STAGE_REMUX;
    tell_user(MESSAGE_DONE, false, "%s %s\xE2\x80\xA6", current.origin == FINISH_RECOVERED ? "Recovering" : "Finishing",
              shown_name());
}

static void dequeue(void) {
    current = queue[0];
    queued--;
    memmove(queue, queue + 1, sizeof(FinishJob) * (size_t)queued);
}

static void take_next(void) {
    dequeue();
    if (current.origin == FINISH_RECOVERED) stage = STAGE_SETTLING;
    else start_remux();
}

// A leftover's segment list's hash; 0 when there is none.
static u64 list_hash(const FinishJob &job) {
    TextBuilder path = builder_create(256);
    recording_file_path(&path, job.finished.data ? job.finished.data : "", RECORDING_SEGMENT_LIST);
    StrSlice text = path.data ? os_read_entire_file(builder_slice(&path)) : StrSlice{};
    os_free(path.data);
    u64 hash = text.data ? text_hash(text) : 0;
    os_free_file(&text);
    return hash;
}

// A leftover that did not change since it was found is nobody's.
static void settle(void) {
    if (os_time_milliseconds() < current.found_ms + FINISH_SETTLE_MS) return;
    i64 size = working_size_of(current);
    if (size != current.found_size || list_hash(current) != current.found_list) {
        os_print("* NOTE * %s is still being written (by another Vornby?); it is left alone.\n", current.working.data);
        return forget_current();
    }
    if (size == 0) {
        os_print("* NOTE * Removed %s: an empty working file, nothing was recorded in it.\n", current.working.data);
        delete_working();
        return forget_current();
    }
    start_remux();
}

static void nothing_recorded(void) {
    encoder_delete_file(builder_slice(&finishing_path));
    delete_working();
    if (current.origin == FINISH_DIED)
        tell_user(MESSAGE_ERROR, true, "%s stopped unexpectedly before its first frame", ENCODER_NAME);
    else tell_user(MESSAGE_NOTE, false, "Nothing was recorded in %s; it was removed.", shown_name());
    forget_current();
}

static void remux_ended(EncoderEnd end) {
    if (end != ENCODER_FINISHED) return give_up("the remux failed", encoder_last_line(&ffmpeg));
    if (ffmpeg.frames == 0) return nothing_recorded();
    if (ffmpeg.frames < 0) return give_up("the remux reported no frames", StrSlice{});
    remux_frames = ffmpeg.frames;
    remux_us = ffmpeg.progress_us;
    encoder_close(&ffmpeg);
    TextBuilder command = builder_create(512);
    finished_check_command(&command, finishing_path.data);
    bool started = encoder_start(&ffmpeg, builder_slice(&command), finishing_path.data, true);
    os_free(command.data);
    if (!started) return give_up(ENCODER_NAME " could not start", StrSlice{});
    stage = STAGE_CHECK;
}

// The expected name, else "<stem> (2).mp4" and on: a name is taken by any
// file and by another recording's working files. The move never replaces a
// file, so a name taken in the meantime is passed over too.
static bool move_to_free_name(TextBuilder *final) {
    for (i32 number = 1; number <= FINISH_NAME_ATTEMPTS; number++) {
        recording_stem(final, current.finished.data);
        append_name_number(final, number);
        builder_append_text(final, ".mp4");
        if (!final->data) return false;
        bool free = number == 1 ? !os_path_exists(builder_slice(final)) : recording_names_free(final->data);
        if (free && os_move_file(builder_slice(&finishing_path), builder_slice(final)) == 0) return true;
    }
    return false;
}

// The panel's words for the finished file, into said (which the share copy
// keeps beside its progress).
static void report(const char *final, i64 time_us, char (&said)[MESSAGE_CAPACITY]) {
    const char *name = path_file_name(final);
    // The time of the last packet, a frame short of the length: rounded.
    i32 seconds = (i32)((time_us + 500000) / 1000000);
    MessageKind kind = MESSAGE_DONE;
    if (current.origin == FINISH_STOPPED) {
        os_format(said, sizeof said, "Saved %s \xE2\x80\x94 %.1f MB, %i:%02i", name,
                  (f64)os_file_size(text_slice(final)) / 1e6, seconds / 60, seconds % 60);
    } else if (current.origin == FINISH_DIED) {
        kind = MESSAGE_ERROR;
        os_format(said, sizeof said, "%s stopped unexpectedly \xE2\x80\x94 saved %i:%02i as %s", ENCODER_NAME,
                  seconds / 60, seconds % 60, name);
    } else {
        os_format(said, sizeof said, "Recovered %s \xE2\x80\x94 %i:%02i", name, seconds / 60, seconds % 60);
    }
    tell_user(kind, false, "%s", said);
}

static void check_ended(EncoderEnd end) {
    i64 frames = ffmpeg.frames, time_us = ffmpeg.progress_us, difference = time_us - remux_us;
    if (end != ENCODER_FINISHED || frames != remux_frames || difference > finish_time_tolerance_us ||
        -difference > finish_time_tolerance_us) {
        os_print("* ERROR * The remux wrote %lli frames, %lli us; the file reads back %lli frames, %lli us.\n",
                 (long long)remux_frames, (long long)remux_us, (long long)frames, (long long)time_us);
        return give_up("the finished file does not read back the same", encoder_last_line(&ffmpeg));
    }
    encoder_close(&ffmpeg);
    TextBuilder final = builder_create(256);
    if (!move_to_free_name(&final)) {
        os_free(final.data);
        return give_up("no free name for it", StrSlice{});
    }
    delete_working();
    char said[MESSAGE_CAPACITY];
    report(final.data, time_us, said);
    if (current.share_copy && !quitting) share_copy_queue(final.data, current.fps, current.duration_ms, said);
    os_free(final.data);
    forget_current();
}

static void stage_ended(EncoderEnd end) {
    if (stage == STAGE_REMUX) remux_ended(end);
    else check_ended(end);
}

void finishing_step(void) {
    if (stage == STAGE_NONE && queued > 0) take_next();
    if (stage == STAGE_SETTLING) return settle();
    if (stage != STAGE_REMUX && stage != STAGE_CHECK) return;
    if (!encoder_running(&ffmpeg)) return stage_ended(encoder_collect(&ffmpeg));
    while (encoder_pump(&ffmpeg) > 0) {
    }
}

static void leave_for_next_start(void) {
    encoder_close(&ffmpeg);
    if (finishing_path.length > 0) encoder_delete_file(builder_slice(&finishing_path));
    os_print("* NOTE * %s was not finished before the exit; %s is finished at the next start.\n", shown_name(),
             current.working.data ? current.working.data : "its working file");
    forget_current();
}

void finishing_quit(void) {
    quitting = true;
    i64 limit = os_time_milliseconds() + FINISH_QUIT_LIMIT_MS;
    while (finishing_busy()) {
        i64 left = limit - os_time_milliseconds();
        if (stage == STAGE_NONE) {
            if (left > 0) {
                take_next();
            } else {
                dequeue();
                leave_for_next_start();
            }
        } else if (stage == STAGE_SETTLING || left <= 0) {
            leave_for_next_start();
        } else {
            EncoderEnd end = encoder_wait(&ffmpeg, false, FINISH_QUIT_SILENCE_MS, (i32)left);
            if (end == ENCODER_KILLED) leave_for_next_start();
            else stage_ended(end);
        }
    }
}

//~ Leftovers

void finishing_cuts_from_list(StrSlice list, const char *const *working, i32 count, i64 *cut_us) {
    for (i32 i = 0; i < count; i++) cut_us[i] = -1;
    i32 file = -1; // the working file the last "file" line named, -1 for none of them
    const char *at = list.data, *end = list.data + list.length;
    while (at && at < end) {
        const char *line_end = (const char *)memchr(at, '\n', (size_t)(end - at));
        if (!line_end) line_end = end;
        if (line_end - at > 6 && memcmp(at, "file '", 6) == 0) {
            // The name after the last separator, with the quoting undone.
            char name[512];
            i32 length = 0;
            for (const char *c = at + 6; c < line_end; c++) {
                if (*c == '\\' && c + 1 < line_end && c[1] == '\'') c++; // an escaped quote: kept
                else if (*c == '\'') continue;
                else if (*c == '/' || *c == '\\') {
                    length = 0;
                    continue;
                }
                if (length < (i32)sizeof name - 1) name[length++] = *c;
            }
            name[length] = 0;
            file = -1;
            for (i32 i = 0; i < count; i++)
                if (strcmp(path_file_name(working[i]), name) == 0) file = i;
        } else if (file >= 0 && line_end - at > 9 && memcmp(at, "outpoint ", 9) == 0) {
            i64 seconds = 0, micro = 0, scale = 100000;
            const char *c = at + 9;
            for (; c < line_end && *c >= '0' && *c <= '9' && seconds < (1ll << 40); c++)
                seconds = seconds * 10 + (*c - '0');
            if (c < line_end && *c == '.')
                for (c++; c < line_end && *c >= '0' && *c <= '9'; c++, scale /= 10) micro += (*c - '0') * scale;
            cut_us[file] = seconds * 1000000 + micro;
        }
        at = line_end + 1;
    }
}

static StrSlice leftover_folder;
// Without an encoder they wait; the panel says what is missing.
static bool leftovers_wait;
static i32 leftovers_waiting;

// A working file found in the folder: the recording it belongs to and which
// of its segments it is.
struct Leftover {
    TextBuilder working, finished;
    i32 segment;
};
static Leftover *leftovers;
static i32 leftover_count, leftover_capacity;

static void found_leftover(StrSlice name, i64, bool is_directory) {
    if (is_directory) return;
    Leftover found = {builder_create(leftover_folder.length + name.length + 1), builder_create(256), 0};
    builder_append(&found.working, leftover_folder.length, leftover_folder.data);
    builder_append_text(&found.working, "/");
    builder_append(&found.working, name.length, name.data);
    bool leftover = found.working.data && recording_finished_path(&found.finished, found.working.data, &found.segment) &&
                    found.finished.data;
    if (leftover && leftover_count == leftover_capacity) {
        i32 capacity = leftover_capacity ? leftover_capacity * 2 : 16;
        void *grown = leftovers ? os_realloc(leftovers, (u32)(sizeof(Leftover) * (size_t)capacity))
                                : os_alloc((u32)(sizeof(Leftover) * (size_t)capacity));
        if (grown) {
            leftovers = (Leftover *)grown;
            leftover_capacity = capacity;
        } else {
            os_print("* ERROR * Out of memory: %s waits for the next start.\n", found.working.data);
            leftover = false;
        }
    }
    if (!leftover) {
        os_free(found.working.data);
        os_free(found.finished.data);
        return;
    }
    leftovers[leftover_count++] = found;
}

static bool leftover_before(const Leftover &a, const Leftover &b) {
    i32 order = strcmp(a.finished.data, b.finished.data);
    return order < 0 || (order == 0 && a.segment < b.segment);
}

// The segments of one recording, from first, into one request.
static void queue_recording(i32 first, i32 count) {
    const char *paths[FINISH_WORKING_MAX];
    i64 cut_us[FINISH_WORKING_MAX];
    if (count > FINISH_WORKING_MAX) count = FINISH_WORKING_MAX; // the rest waits for the next start
    for (i32 i = 0; i < count; i++) paths[i] = leftovers[first + i].working.data;
    const char *finished = leftovers[first].finished.data;
    TextBuilder list_path = builder_create(256);
    recording_file_path(&list_path, finished, RECORDING_SEGMENT_LIST);
    StrSlice list = list_path.data ? os_read_entire_file(builder_slice(&list_path)) : StrSlice{};
    finishing_cuts_from_list(list, paths, count, cut_us);
    os_free_file(&list);
    os_free(list_path.data);
    FinishRequest request = {paths, count, finished, FINISH_RECOVERED, false, 0, 0, cut_us};
    i32 before = queued;
    finishing_queue(&request);
    if (queued == before) return;
    // Measured as the settling measures it: a listing's size can lag
    // behind the file's own on Windows.
    FinishJob &job = queue[queued - 1];
    job.found_size = working_size_of(job);
    job.found_list = list_hash(job);
}

void finishing_recover_leftovers(void) {
    leftover_folder = app_output_folder();
    leftovers_wait = !encoder_findable();
    leftovers_waiting = 0;
    leftover_count = 0;
    if (leftover_folder.data) os_list_directory(leftover_folder, found_leftover);
    for (i32 i = 1; i < leftover_count; i++) // a few files: insertion sort
        for (i32 j = i; j > 0 && leftover_before(leftovers[j], leftovers[j - 1]); j--) {
            Leftover swap = leftovers[j];
            leftovers[j] = leftovers[j - 1];
            leftovers[j - 1] = swap;
        }
    for (i32 first = 0, next; first < leftover_count; first = next) {
        for (next = first + 1; next < leftover_count; next++)
            if (strcmp(leftovers[next].finished.data, leftovers[first].finished.data) != 0) break;
        if (leftovers_wait) leftovers_waiting++;
        else queue_recording(first, next - first);
    }
    for (i32 i = 0; i < leftover_count; i++) {
        os_free(leftovers[i].working.data);
        os_free(leftovers[i].finished.data);
    }
    if (leftovers_waiting > 0)
        os_print("* NOTE * %i unfinished recordings in %s wait for %s.\n", leftovers_waiting, leftover_folder.data,
                 encoder_file_name());
    os_free_string(&leftover_folder);
}
