#include "share_copy.h"

#include <string.h>

#include "app.h"
#include "app_files.h"
#include "encoder_command.h"
#include "user_message.h"

void share_copy_path(TextBuilder *copy, const char *recording, u8 kind, i32 number) {
    i64 length = (i64)strlen(recording);
    if (length >= 4 && strcmp(recording + length - 4, ".mp4") == 0) length -= 4;
    builder_clear(copy);
    builder_append(copy, length, recording);
    if (kind != SHARE_COPY_GIF) builder_append_text(copy, ".share");
    if (number > 1) {
        char suffix[16];
        builder_append(copy, os_format(suffix, sizeof suffix, " (%i)", number), suffix);
    }
    builder_append_text(copy, kind == SHARE_COPY_GIF ? ".gif" : ".mp4");
}

i32 share_command_format(char *buffer, i32 capacity, const ShareConversion *conversion) {
    TextBuilder source = builder_create(256), copy = builder_create(256);
    encoder_append_quoted(&source, conversion->recording, (i64)strlen(conversion->recording), true);
    encoder_append_quoted(&copy, conversion->copy, (i64)strlen(conversion->copy), true);
    const char *in = source.data ? source.data : "", *out = copy.data ? copy.data : "";
    // No blanks or quotes in the filters, so they need no quoting; "\," is
    // the filter syntax's escaped comma, which the command-line rules keep.
    i32 width = conversion->max_width;
    i32 length;
    if (conversion->kind == SHARE_COPY_GIF) {
        i32 fps = conversion->fps < SHARE_GIF_MAX_FPS ? conversion->fps : SHARE_GIF_MAX_FPS;
        if (fps < 1) fps = 1;
        char scale[64] = "";
        if (width > 0) os_format(scale, sizeof scale, ",scale=min(%i\\,iw):-1:flags=lanczos", width);
        length = os_format(buffer, capacity,
                           "%s -hide_banner -nostdin -nostats -v error -progress pipe:1 -y -i %s "
                           "-filter_complex fps=%i%s,split[a][b];[a]palettegen[p];[b][p]paletteuse -an %s",
                           conversion->encoder, in, fps, scale, out);
    } else {
        // yuv420p needs even sizes: an odd region loses its last column or row.
        char scale[64];
        if (width > 0) os_format(scale, sizeof scale, "scale=trunc(min(%i\\,iw)/2)*2:-2", width);
        else os_format(scale, sizeof scale, "crop=trunc(iw/2)*2:trunc(ih/2)*2");
        length = os_format(buffer, capacity,
                           "%s -hide_banner -nostdin -nostats -v error -progress pipe:1 -y -i %s -vf %s "
                           "-c:v libx264 -preset medium -crf 20 -pix_fmt yuv420p -c:a aac -b:a 160k "
                           "-movflags +faststart %s",
                           conversion->encoder, in, scale, out);
    }
    os_free(source.data);
    os_free(copy.data);
    return length;
}

//~ The queue and the running conversion

struct ShareJob {
    TextBuilder recording;
    i32 fps;
    i32 duration_ms;
};

enum { SHARE_QUEUE_SIZE = 16, SHARE_LINE_SIZE = 256, SHARE_QUIT_WAIT_MS = 3000, SHARE_NAME_ATTEMPTS = 1000 };

static ShareJob queue[SHARE_QUEUE_SIZE];
static i32 queued;

static bool running;
static OsProcess process;
static ShareJob current;
static TextBuilder copy_path;
static char line[SHARE_LINE_SIZE];   // the output line being read
static i32 line_length;
static char reason[SHARE_LINE_SIZE]; // the last line that was not progress
static i32 shown_tenths;

void share_copy_queue(const char *recording, i32 fps, i32 duration_ms) {
    if (app.share_copy == SHARE_COPY_NONE) return;
    if (queued == SHARE_QUEUE_SIZE) {
        user_message("* NOTE * Too many share copies waiting; %s gets none.", path_file_name(recording));
        return;
    }
    ShareJob &job = queue[queued++];
    job.recording = builder_create(256);
    builder_append_text(&job.recording, recording);
    job.fps = fps;
    job.duration_ms = duration_ms;
}

bool share_copy_busy(void) { return running || queued > 0; }

static void forget_current(void) {
    os_free(current.recording.data);
    current = ShareJob{};
    running = false;
}

static void start_next(void) {
    current = queue[0];
    queued--;
    memmove(queue, queue + 1, sizeof(ShareJob) * (size_t)queued);
    if (!current.recording.data) return forget_current();

    if (!copy_path.data) copy_path = builder_create(256);
    // A copy of that name may be the user's: one whose recording was deleted
    // and its name used again. It is never overwritten.
    i32 number = 1;
    do share_copy_path(&copy_path, current.recording.data, app.share_copy, number);
    while (copy_path.data && os_path_exists(builder_slice(&copy_path)) && ++number <= SHARE_NAME_ATTEMPTS);
    if (number > SHARE_NAME_ATTEMPTS) {
        user_message("* ERROR * No free name for the share copy of %s.", path_file_name(current.recording.data));
        return forget_current();
    }
    ShareConversion conversion = {app.encoder_command.data ? app.encoder_command.data : "ffmpeg",
                                  current.recording.data, copy_path.data ? copy_path.data : "",
                                  app.share_copy, app.share_copy_max_width, current.fps};
    TextBuilder command = builder_create(500);
    i32 length = share_command_format(nullptr, 0, &conversion);
    bool formatted = copy_path.data && builder_reserve(&command, length);
    if (formatted) {
        share_command_format(command.data, length + 1, &conversion);
        command.length = length;
    }
    os_print("[[[%s]]]\n", formatted ? command.data : "");
    running = formatted && os_process_start(&process, builder_slice(&command), false) == 0;
    os_free(command.data);
    if (!running) {
        user_message("* ERROR * The share copy of %s could not start.", path_file_name(current.recording.data));
        forget_current();
        return;
    }
    line_length = 0;
    reason[0] = 0;
    shown_tenths = 0;
    user_message("Share copy: %s 0%%", path_file_name(copy_path.data));
}

static void progress_line(void) {
    line[line_length] = 0;
    const char *key = "out_time_us=";
    if (strncmp(line, key, strlen(key)) == 0) {
        i64 us = 0;
        for (const char *c = line + strlen(key); *c >= '0' && *c <= '9'; c++) us = us * 10 + (*c - '0');
        i64 total_us = (i64)current.duration_ms * 1000;
        i32 percent = total_us > 0 ? (i32)(us * 100 / total_us) : 0;
        if (percent > 99) percent = 99;
        // Standard output is a log, so only every tenth of the way is shown.
        if (percent / 10 != shown_tenths) {
            shown_tenths = percent / 10;
            user_message("Share copy: %s %i%%", path_file_name(copy_path.data), percent);
        }
        return;
    }
    // The other -progress lines are key=value; anything else is the
    // encoder's own message, the last of which says why it failed.
    const char *c = line;
    while (*c && *c != '=' && *c != ' ') c++;
    if (*c == '=' || line_length == 0) return;
    memcpy(reason, line, (size_t)line_length + 1);
}

static void read_output(void) {
    char buffer[4096];
    i32 got;
    while ((got = os_process_read(&process, sizeof buffer, buffer)) > 0) {
        for (i32 i = 0; i < got; i++) {
            char c = buffer[i];
            if (c == '\n' || c == '\r') {
                progress_line();
                line_length = 0;
            } else if (line_length < SHARE_LINE_SIZE - 1) {
                line[line_length++] = c;
            }
        }
    }
}

// Windows lets a killed process's files go a moment after the kill returns,
// so the delete is tried again for a while.
static void remove_partial(void) {
    if (!copy_path.data) return;
    i64 deadline = os_time_milliseconds() + 1000;
    while (os_delete_file(builder_slice(&copy_path)) != 0 && os_path_exists(builder_slice(&copy_path)) &&
           os_time_milliseconds() < deadline)
        os_sleep_ms(20);
}

static void finish(void) {
    read_output();
    if (line_length > 0) progress_line();
    i32 code = -1;
    bool known = os_process_exit_code(&process, &code);
    os_process_kill(&process);
    i64 size = os_file_size(builder_slice(&copy_path));
    const char *name = path_file_name(copy_path.data);
    if (known && code == 0 && size > 0) {
        if (size >= 1024 * 1024)
            user_message("Share copy ready: %s (%.1f MB)", name, (f64)size / (1024.0 * 1024.0));
        else
            user_message("Share copy ready: %s (%i KB)", name, (i32)((size + 1023) / 1024));
    } else {
        remove_partial();
        user_message("* ERROR * The share copy %s failed (exit code %i)%s%s; nothing was kept.", name, code,
                     reason[0] ? ": " : "", reason);
    }
    forget_current();
}

void share_copy_step(void) {
    if (running) {
        if (os_process_is_running(&process)) read_output();
        else finish();
    }
    if (!running && queued > 0) start_next();
}

void share_copy_quit(void) {
    for (i32 i = 0; i < queued; i++) os_free(queue[i].recording.data);
    queued = 0;
    if (!running) return;
    i64 deadline = os_time_milliseconds() + SHARE_QUIT_WAIT_MS;
    while (os_process_is_running(&process) && os_time_milliseconds() < deadline) {
        read_output();
        os_sleep_ms(10);
    }
    if (!os_process_is_running(&process)) return finish();
    os_process_kill(&process);
    remove_partial();
    user_message("* NOTE * The share copy %s was stopped at exit and removed.", path_file_name(copy_path.data));
    forget_current();
}
