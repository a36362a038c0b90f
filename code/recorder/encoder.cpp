#include "encoder.h"

#include <string.h>

#include "app.h"
#include "messages.h"

#ifdef _WIN32
#define ENCODER_FILE_NAME ENCODER_NAME ".exe"
#else
#define ENCODER_FILE_NAME ENCODER_NAME
#endif

const char *encoder_file_name(void) { return ENCODER_FILE_NAME; }

const char *encoder_program(void) { return app.encoder_command.data ? app.encoder_command.data : ENCODER_NAME; }

const char *encoder_missing_text(void) {
#ifdef _WIN32
    return "No " ENCODER_FILE_NAME " beside vornby.exe or on PATH: put " ENCODER_FILE_NAME " beside vornby.exe";
#else
    return "No " ENCODER_FILE_NAME " beside vornby or on PATH: install " ENCODER_NAME;
#endif
}

bool encoder_findable(void) { return os_program_on_path(text_slice(ENCODER_FILE_NAME)); }

void encoder_locate(void) {
    StrSlice found = os_program_path(text_slice(ENCODER_FILE_NAME));
    // Said now rather than after the first press of record.
    if (!found.data) tell_user(MESSAGE_ERROR, false, "%s", encoder_missing_text());
    // Beside the program, it is named by its path. The program name is read
    // up to the next quote with no escapes, so a folder with a quote in it
    // cannot be named: the encoder is looked up by its bare name then.
    StrSlice folder = os_exe_folder();
    bool beside = found.data && folder.data && found.length > folder.length &&
                  memcmp(found.data, folder.data, (size_t)folder.length) == 0 &&
                  !memchr(found.data + folder.length, '/', (size_t)(found.length - folder.length));
    if (beside && !memchr(found.data, '"', (size_t)found.length)) {
        app.encoder_command = builder_create(found.length + 2);
        builder_append(&app.encoder_command, 1, "\"");
        builder_append(&app.encoder_command, found.length, found.data);
        builder_append(&app.encoder_command, 1, "\"");
    }
    os_free_string(&found);
}

//~ A job's output: the tail and the progress

static void keep_tail(EncoderJob *job, const char *bytes, i32 count) {
    if (count >= ENCODER_TAIL_SIZE) {
        memcpy(job->tail, bytes + count - ENCODER_TAIL_SIZE, ENCODER_TAIL_SIZE);
        job->tail_length = ENCODER_TAIL_SIZE;
        return;
    }
    i32 keep = job->tail_length + count > ENCODER_TAIL_SIZE ? ENCODER_TAIL_SIZE - count : job->tail_length;
    memmove(job->tail, job->tail + job->tail_length - keep, (size_t)keep);
    memcpy(job->tail + keep, bytes, (size_t)count);
    job->tail_length = keep + count;
}

// A number that cannot overflow, however many digits the text has: it stops
// growing past the limit.
static const i64 progress_digits_limit = (i64)1 << 50;

static const char *read_number(const char *text, const char *end, i64 *value) {
    *value = 0;
    while (text < end && *text >= '0' && *text <= '9') {
        if (*value < progress_digits_limit) *value = *value * 10 + (*text - '0');
        text++;
    }
    return text;
}

// Reads "HH:MM:SS" or "HH:MM:SS.ss" at text as microseconds; false when it
// is not there.
static bool parse_clock(const char *text, const char *end, i64 *us) {
    i64 parts[3];
    for (i32 part = 0; part < 3; part++) {
        if (text >= end || *text < '0' || *text > '9') return false;
        text = read_number(text, end, &parts[part]);
        if (parts[part] >= progress_digits_limit / 3600) return false;
        if (part < 2 && (text >= end || *text++ != ':')) return false;
    }
    i64 fraction_us = 0;
    if (text < end && *text == '.') {
        i64 scale = 100000;
        for (text++; text < end && *text >= '0' && *text <= '9'; text++, scale /= 10)
            fraction_us += (*text - '0') * scale;
    }
    *us = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 1000000 + fraction_us;
    return true;
}

static bool starts_with(const char *text, i64 length, const char *prefix) {
    i64 n = (i64)strlen(prefix);
    return length >= n && memcmp(text, prefix, (size_t)n) == 0;
}

i64 encoder_line_progress_us(const char *text, i64 length) {
    const char *end = text + length;
    if (starts_with(text, length, "out_time_us=")) {
        i64 us;
        const char *digits = text + strlen("out_time_us=");
        return read_number(digits, end, &us) > digits ? us : -1;
    }
    // The status line ends in "time=00:00:42.10 bitrate=... speed=...".
    for (const char *c = end - 5; c >= text; c--) {
        if (memcmp(c, "time=", 5) != 0) continue;
        i64 us;
        return parse_clock(c + 5, end, &us) ? us : -1;
    }
    return -1;
}

static void progress_line(EncoderJob *job) {
    const char *text = job->line, *end = job->line + job->line_length;
    // "frame=90" (-progress) or "frame=   90 fps=..." (the status line).
    if (starts_with(text, job->line_length, "frame=")) {
        i64 frames;
        const char *digits = text + strlen("frame=");
        while (digits < end && *digits == ' ') digits++;
        if (read_number(digits, end, &frames) > digits) job->frames = frames;
    }
    i64 us = encoder_line_progress_us(text, job->line_length);
    if (us >= 0) job->progress_us = us;
}

static void read_lines(EncoderJob *job, const char *bytes, i32 count) {
    for (i32 i = 0; i < count; i++) {
        char c = bytes[i];
        if (c == '\n' || c == '\r') {
            progress_line(job);
            job->line_length = 0;
        } else if (job->line_length < ENCODER_LINE_SIZE) {
            job->line[job->line_length++] = c;
        }
    }
}

i32 encoder_pump(EncoderJob *job) {
    char buffer[ENCODER_TAIL_SIZE];
    i32 got = os_process_read(&job->process, ENCODER_TAIL_SIZE, buffer);
    if (got > 0) {
        keep_tail(job, buffer, got);
        read_lines(job, buffer, got);
    }
    return got;
}

//~ A job's life

bool encoder_start(EncoderJob *job, StrSlice command, const char *output_path, bool bound) {
    os_print("[[[%s]]]\n", command.data ? command.data : "");
    builder_clear(&job->output);
    builder_append_text(&job->output, output_path);
    job->tail_length = 0;
    job->line_length = 0;
    job->progress_us = -1;
    job->frames = -1;
    job->stop_requested = false;
    job->exit_known = false;
    job->exit_code = 0;
    job->started_ms = os_time_milliseconds();
    job->started = command.data && (bound ? os_process_start_bound(&job->process, command, false)
                                          : os_process_start(&job->process, command, false)) == 0;
    return job->started;
}

bool encoder_running(EncoderJob *job) { return job->started && os_process_is_running(&job->process); }

void encoder_request_stop(EncoderJob *job) {
    if (job->stop_requested || !job->started) return;
    // Told to finish, it may outlive the recorder to do so (Windows would end
    // it with the recorder); one not told would record until the disk is full.
    if (os_process_write(&job->process, 2, "q\n") == 2) os_process_unbind(&job->process);
    job->stop_requested = true;
}

bool encoder_send(EncoderJob *job, const char *text) {
    i32 length = (i32)strlen(text);
    return job->started && !job->stop_requested && os_process_write(&job->process, length, text) == length;
}

EncoderEnd encoder_collect(EncoderJob *job) {
    while (encoder_pump(job) > 0) {
    }
    if (job->line_length > 0) progress_line(job);
    job->exit_known = os_process_exit_code(&job->process, &job->exit_code);
    if (!job->exit_known) return ENCODER_CODE_UNKNOWN;
    return job->exit_code == 0 ? ENCODER_FINISHED : ENCODER_FAILED;
}

EncoderEnd encoder_wait(EncoderJob *job, bool ask, i32 silence_ms, i32 total_ms) {
    if (ask && encoder_running(job)) encoder_request_stop(job);
    i64 now = os_time_milliseconds();
    i64 deadline = now + silence_ms, limit = now + total_ms;
    i64 file_size = os_file_size(builder_slice(&job->output));
    while (encoder_running(job) && now < deadline && now < limit) {
        bool progress = encoder_pump(job) > 0;
        i64 size = os_file_size(builder_slice(&job->output));
        if (size != file_size) progress = true;
        file_size = size;
        os_sleep_ms(10);
        now = os_time_milliseconds();
        if (progress) deadline = now + silence_ms;
    }
    if (encoder_running(job)) {
        os_process_kill(&job->process);
        return ENCODER_KILLED;
    }
    return encoder_collect(job);
}

static bool line_break(char c) { return c == '\n' || c == '\r'; }

// A -progress line ("key=value") or the status line ("frame=  12 fps=...").
static bool progress_shaped(StrSlice line) {
    for (i64 i = 0; i < line.length; i++) {
        if (line.data[i] == '=') return i > 0;
        if (line.data[i] == ' ') return false;
    }
    return false;
}

StrSlice encoder_last_line(const EncoderJob *job) {
    static const char nothing_said[] = "Conversion failed!";
    i32 end = job->tail_length;
    const char *tail = job->tail;
    while (end > 0) {
        while (end > 0 && (line_break(tail[end - 1]) || tail[end - 1] == ' ')) end--;
        i32 begin = end;
        while (begin > 0 && !line_break(tail[begin - 1])) begin--;
        StrSlice line = {end - begin, (char *)tail + begin};
        bool silent = line.length == (i64)sizeof nothing_said - 1 &&
                      memcmp(line.data, nothing_said, sizeof nothing_said - 1) == 0;
        if (line.length > 0 && !silent && !progress_shaped(line)) {
            const char *close =
                line.data[0] == '[' ? (const char *)memchr(line.data, ']', (size_t)line.length) : nullptr;
            if (close && close + 2 < line.data + line.length && close[1] == ' ' &&
                memchr(line.data, '@', (size_t)(close - line.data))) {
                line.length -= close + 2 - line.data;
                line.data = (char *)close + 2;
            }
            return line;
        }
        end = begin;
    }
    return StrSlice{0, (char *)tail};
}

void encoder_close(EncoderJob *job) {
    if (job->started) os_process_kill(&job->process);
    job->started = false;
    job->stop_requested = false;
}

i32 encoder_delete_file(StrSlice path) {
    if (!path.data) return 1;
    i64 deadline = os_time_milliseconds() + 1000;
    while (os_delete_file(path) != 0) {
        if (!os_path_exists(path)) return 0;
        if (os_time_milliseconds() >= deadline) return 1;
        os_sleep_ms(20);
    }
    return 0;
}

void encoder_crash_stop(EncoderJob *job, i32 wait_ms) {
    if (!job->started) return;
    if (!job->stop_requested && os_process_write(&job->process, 2, "q\n") == 2) os_process_unbind(&job->process);
    for (i32 waited = 0; waited < wait_ms && os_process_is_running(&job->process); waited += 10) os_sleep_ms(10);
}
