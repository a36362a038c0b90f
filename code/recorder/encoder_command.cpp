#include "encoder_command.h"

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
