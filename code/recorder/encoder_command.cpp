#include "encoder_command.h"

#include "app.h"

const char *encoder_file_name(void) {
#ifdef _WIN32
    return "ffmpeg.exe";
#else
    return "ffmpeg";
#endif
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
#ifdef _WIN32
    if (audio)
        return os_format(buffer, capacity,
                         "%s -y -f dshow -i audio=\"%s\" -f gdigrab -framerate %i -offset_x %i -offset_y %i "
                         "-video_size %ix%i -draw_mouse %i -i desktop -c:v libx264rgb -preset ultrafast -qp 0 "
                         "-c:a libopus -b:a 320k \"%s\"",
                         encoder, app.audio_device.data, app.fps, app.region_x, app.region_y, app.region_w,
                         app.region_h, mouse, output_path);
    return os_format(buffer, capacity,
                     "%s -y -f gdigrab -framerate %i -offset_x %i -offset_y %i -video_size %ix%i "
                     "-draw_mouse %i -i desktop -c:v libx264rgb -preset ultrafast -qp 0 \"%s\"",
                     encoder, app.fps, app.region_x, app.region_y, app.region_w, app.region_h, mouse,
                     output_path);
#else
    StrSlice display = os_display_name();
    if (audio)
        return os_format(buffer, capacity,
                         "%s -y -f pulse -i \"%s\" -f x11grab -framerate %i -video_size %ix%i -draw_mouse %i "
                         "-i %.*s+%i,%i -c:v libx264rgb -preset ultrafast -qp 0 -c:a libopus -b:a 320k \"%s\"",
                         encoder, app.audio_device.data, app.fps, app.region_w, app.region_h, mouse,
                         (int)display.length, display.data, app.region_x, app.region_y, output_path);
    return os_format(buffer, capacity,
                     "%s -y -f x11grab -framerate %i -video_size %ix%i -draw_mouse %i -i %.*s+%i,%i "
                     "-c:v libx264rgb -preset ultrafast -qp 0 \"%s\"",
                     encoder, app.fps, app.region_w, app.region_h, mouse, (int)display.length,
                     display.data, app.region_x, app.region_y, output_path);
#endif
}
