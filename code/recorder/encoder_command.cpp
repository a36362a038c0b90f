#include "encoder_command.h"

#include <string.h>

#include "app.h"

const char *encoder_file_name(void) {
#ifdef _WIN32
    return "ffmpeg.exe";
#else
    return "ffmpeg";
#endif
}

// The region's coordinates go in unchanged on both systems: gdigrab takes its
// offsets in virtual-screen coordinates (negative left of or above the primary
// monitor) and copies from the whole desktop's device context; x11grab takes
// root-window coordinates, which RandR monitors share and which never go negative.
// Appends text as the Windows command-line rules read it back: inside quotes,
// a backslash run before a quote (or before the closing one) is doubled and
// the quote escaped. Without `always`, plain text (no blank or quote) stays
// bare, so ordinary values give the same line as before.
void encoder_append_quoted(TextBuilder *out, const char *text, i64 length, bool always) {
    bool plain = length > 0;
    for (i64 i = 0; i < length; i++)
        if (text[i] == ' ' || text[i] == '\t' || text[i] == '"') plain = false;
    if (plain && !always) {
        builder_append(out, length, text);
        return;
    }
    builder_append(out, 1, "\"");
    i64 backslashes = 0;
    for (i64 i = 0; i < length; i++) {
        char c = text[i];
        if (c == '\\') {
            backslashes++;
        } else {
            if (c == '"')
                for (i64 k = 0; k < backslashes + 1; k++) builder_append(out, 1, "\\");
            backslashes = 0;
        }
        builder_append(out, 1, &c);
    }
    for (i64 k = 0; k < backslashes; k++) builder_append(out, 1, "\\");
    builder_append(out, 1, "\"");
}

static void quote(TextBuilder *out, const char *text, bool always) {
    builder_clear(out);
    encoder_append_quoted(out, text ? text : "", text ? (i64)strlen(text) : 0, always);
}

const char *encoder_missing_text(void) {
#ifdef _WIN32
    return "No ffmpeg.exe beside vornby.exe or on PATH: put ffmpeg.exe beside vornby.exe";
#else
    return "No ffmpeg beside vornby or on PATH: install ffmpeg";
#endif
}

i32 encoder_command_format(char *buffer, i32 capacity, const char *output_path) {
    const char *encoder = app.encoder_command.data ? app.encoder_command.data : "ffmpeg";
    bool audio = app.record_audio && app.audio_device.length > 0;
    i32 mouse = app.draw_mouse ? 1 : 0;
    TextBuilder device = builder_create(64), path = builder_create(256);
    quote(&device, audio ? app.audio_device.data : "", true);
    quote(&path, output_path, true);
    const char *device_text = device.data ? device.data : "\"\"";
    const char *path_text = path.data ? path.data : "\"\"";
    i32 length;
#ifdef _WIN32
    if (audio)
        length = os_format(buffer, capacity,
                           "%s -y -f dshow -i audio=%s -f gdigrab -framerate %i -offset_x %i -offset_y %i "
                           "-video_size %ix%i -draw_mouse %i -i desktop -c:v libx264rgb -preset ultrafast -qp 0 "
                           "-c:a libopus -b:a 320k %s",
                           encoder, device_text, app.fps, app.region_x, app.region_y, app.region_w,
                           app.region_h, mouse, path_text);
    else
        length = os_format(buffer, capacity,
                           "%s -y -f gdigrab -framerate %i -offset_x %i -offset_y %i -video_size %ix%i "
                           "-draw_mouse %i -i desktop -c:v libx264rgb -preset ultrafast -qp 0 %s",
                           encoder, app.fps, app.region_x, app.region_y, app.region_w, app.region_h, mouse,
                           path_text);
#else
    StrSlice display_name = os_display_name();
    TextBuilder display = builder_create(32);
    encoder_append_quoted(&display, display_name.data ? display_name.data : "", display_name.length, false);
    const char *display_text = display.data ? display.data : ":0";
    if (audio)
        length = os_format(buffer, capacity,
                           "%s -y -f pulse -i %s -f x11grab -framerate %i -video_size %ix%i -draw_mouse %i "
                           "-i %s+%i,%i -c:v libx264rgb -preset ultrafast -qp 0 -c:a libopus -b:a 320k %s",
                           encoder, device_text, app.fps, app.region_w, app.region_h, mouse, display_text,
                           app.region_x, app.region_y, path_text);
    else
        length = os_format(buffer, capacity,
                           "%s -y -f x11grab -framerate %i -video_size %ix%i -draw_mouse %i -i %s+%i,%i "
                           "-c:v libx264rgb -preset ultrafast -qp 0 %s",
                           encoder, app.fps, app.region_w, app.region_h, mouse, display_text, app.region_x,
                           app.region_y, path_text);
    os_free(display.data);
#endif
    os_free(device.data);
    os_free(path.data);
    return length;
}
