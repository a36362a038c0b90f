#include "encoder_command.h"

#include <stdarg.h>
#include <string.h>

#include "app.h"
#include "encoder.h"

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

//~ The pieces

// Formats onto the end of out (os_format grammar).
static void append_format(TextBuilder *out, const char *format, ...) {
    va_list args, measure;
    va_start(args, format);
    va_copy(measure, args);
    i32 length = os_format_v(nullptr, 0, format, measure);
    va_end(measure);
    if (builder_reserve(out, length)) {
        os_format_v(out->data + out->length, length + 1, format, args);
        out->length += length;
    }
    va_end(args);
}

static void append_quoted_text(TextBuilder *out, const char *text, bool always) {
    encoder_append_quoted(out, text ? text : "", text ? (i64)strlen(text) : 0, always);
}

// The prefix (" -i " and what precedes it), then the value quoted.
static void append_input(TextBuilder *out, const char *prefix, const char *value, bool always) {
    builder_append_text(out, prefix);
    append_quoted_text(out, value, always);
}

// The recording's rate, set on its output too: otherwise ffmpeg takes the
// rate it guesses from the first frames' timing, now and then 29.97 (a
// recording at a rate nobody chose, and segments that cannot be joined), and
// from a filter graph whose rates differ, none at all, which it fills with
// thousands of copies of each frame.
static const char constant_rate[] = " -r %i";
const char recording_picture_end_input[] = "cconcat -1 next\n";
// Lossless RGB frames, as fast as the encoder goes.
static const char lossless_video[] = " -c:v libx264rgb -preset ultrafast -qp 0";
static const char recording_audio[] = " -c:a libopus -b:a 320k";
// While recording: a fragment every second, not only at keyframes (lossless
// x264's are far apart), and every packet flushed (lossless frames of a still
// screen are tiny: seconds of them would wait in the buffer). A dead encoder
// loses at most the last second.
static const char crash_proof_output[] = " -movflags +frag_keyframe+empty_moov+default_base_moof "
                                         "-frag_duration 1000000 -flush_packets 1";
// Finishing: the same packets, no encoding.
static const char stream_copy[] = " -c copy";
static const char concat_demuxer[] = " -f concat -safe 0";
// The index in front, where every player expects it (and Windows' own, which
// seeks a fragmented file badly).
static const char index_in_front[] = " -movflags +faststart";
// The check decodes nothing and writes nothing; it only reads the packets.
static const char no_output[] = " -f null -";
// A copy that plays everywhere: H.264 4:2:0 and AAC.
static const char shareable_video[] = " -c:v libx264 -preset medium -crf 20 -pix_fmt yuv420p -c:a aac -b:a 160k";
// A conversion says nothing but its progress and its errors.
static const char converter_flags[] = " -hide_banner -nostdin -nostats -v error -progress pipe:1";
// The output is replaced without asking: the naming has made sure it is new.
static const char overwrite[] = " -y";

// The picture of a recording with sound goes through a concat filter whose
// second part has no frames: told "next" (recording_picture_end_input), the
// picture ends there; the blank source takes the picture's size and rate, so
// that the filter accepts it. Two sounds are mixed into one track, each at
// its own level.
static void append_sound_graph(TextBuilder *out, i32 screen, i32 width, i32 height, i32 sound, i32 second_sound) {
    append_format(out, " -filter_complex color=s=%ix%i:r=%i,trim=end_frame=0[end];[%i:v][end]concat[v]", width, height,
                  app.fps, screen);
    if (second_sound < 0) return append_format(out, " -map [v] -map %i:a", sound);
    append_format(out, ";[%i:a][%i:a]amix=inputs=2:duration=longest:normalize=0[a] -map [v] -map [a]", sound,
                  second_sound);
}

// A sound input's queue, deep enough that its packets do not wait behind the
// screen's (and take late timestamps).
static const char sound_queue[] = " -thread_queue_size 1024";

// The capture inputs: the one place where the two platforms differ in
// application code. The region's coordinates go in unchanged on both: gdigrab
// takes its offsets in virtual-screen coordinates (negative left of or above
// the primary monitor) and copies from the whole desktop's device context;
// x11grab takes root-window coordinates, which RandR monitors share and which
// never go negative.
#ifdef _WIN32
// A device mixed with the computer's sound is pinned to its 48 kHz stereo.
static void append_audio_device(TextBuilder *out, const char *device, bool mixed) {
    append_input(out, mixed ? " -f dshow -sample_rate 48000 -channels 2 -i audio=" : " -f dshow -i audio=", device,
                 true);
}

// The stream os_sound_start lays on the clock from the moment the encoder
// opens it: after the screen, nearest its first frame.
static const bool system_sound_first = false;
static void append_system_sound(TextBuilder *out, const char *pipe) {
    builder_append_text(out, sound_queue);
    append_input(out, " -f f32le -ar 48000 -ac 2 -i ", pipe, true);
}

static void append_screen(TextBuilder *out) {
    append_format(out, " -f gdigrab -framerate %i -offset_x %i -offset_y %i -video_size %ix%i -draw_mouse %i -i desktop",
                  app.fps, app.region_x, app.region_y, app.region_w, app.region_h, app.draw_mouse ? 1 : 0);
}
#else
// Pinned to 48 kHz, and a 20 ms fragment that keeps the sound's timestamps
// within a frame of the picture's.
static const char pulse_pinned[] = " -f pulse -sample_rate 48000 -fragment_size 3840 -i ";

static void append_audio_device(TextBuilder *out, const char *device, bool mixed) {
    if (mixed) builder_append_text(out, sound_queue);
    append_input(out, mixed ? pulse_pinned : " -f pulse -i ", device, true);
}

// What the default output device plays: its monitor source. The sound server
// stamps it with its own clock; opened before the screen, it runs by the time
// the first frame is taken (after it, the sound lagged by 60-160 ms).
static const bool system_sound_first = true;
static void append_system_sound(TextBuilder *out, const char *) {
    builder_append_text(out, sound_queue);
    builder_append_text(out, pulse_pinned);
    builder_append_text(out, "@DEFAULT_MONITOR@");
}

static void append_screen(TextBuilder *out) {
    append_format(out, " -f x11grab -framerate %i -video_size %ix%i -draw_mouse %i -i ", app.fps, app.region_w,
                  app.region_h, app.draw_mouse ? 1 : 0);
    StrSlice display = os_display_name();
    encoder_append_quoted(out, display.data ? display.data : "", display.length, false);
    append_format(out, "+%i,%i", app.region_x, app.region_y);
}
#endif

// Frames this process writes into a pipe, the same on every platform.
static void append_fed_screen(TextBuilder *out, const RecordingInputs *inputs) {
    append_format(out, " -f rawvideo -pix_fmt bgr0 -video_size %ix%i -framerate %i", inputs->screen_width,
                  inputs->screen_height, inputs->screen_rate);
    append_input(out, " -i ", inputs->screen_pipe, true);
}

static void append_output(TextBuilder *out, const char *path) {
    builder_append(out, 1, " ");
    append_quoted_text(out, path, true);
}

//~ The command lines

void recording_command(TextBuilder *out, const char *working_path, const RecordingInputs *inputs) {
    bool mixed = inputs->device && inputs->system_sound;
    builder_clear(out);
    builder_append_text(out, encoder_program());
    builder_append_text(out, overwrite);
    // The inputs in order: the device, the computer's sound where its platform
    // wants it first, the screen, else the computer's sound.
    i32 count = 0, device = -1, system = -1;
    if (inputs->device) {
        append_audio_device(out, app.audio_device.data, mixed);
        device = count++;
    }
    if (inputs->system_sound && system_sound_first) {
        append_system_sound(out, inputs->sound_pipe);
        system = count++;
    }
    if (inputs->screen_pipe) append_fed_screen(out, inputs);
    else append_screen(out);
    i32 screen = count++;
    if (inputs->system_sound && !system_sound_first) {
        append_system_sound(out, inputs->sound_pipe);
        system = count++;
    }
    i32 width = inputs->screen_pipe ? inputs->screen_width : app.region_w;
    i32 height = inputs->screen_pipe ? inputs->screen_height : app.region_h;
    if (device >= 0 || system >= 0)
        append_sound_graph(out, screen, width, height, device >= 0 ? device : system, mixed ? system : -1);
    append_format(out, constant_rate, app.fps);
    builder_append_text(out, lossless_video);
    if (device >= 0 || system >= 0) builder_append_text(out, recording_audio);
    builder_append_text(out, crash_proof_output);
    append_output(out, working_path);
}

void finishing_command(TextBuilder *out, const char *input, bool list, const char *finished) {
    builder_clear(out);
    builder_append_text(out, encoder_program());
    builder_append_text(out, converter_flags);
    builder_append_text(out, overwrite);
    if (list) builder_append_text(out, concat_demuxer);
    append_input(out, " -i ", input, true);
    builder_append_text(out, stream_copy);
    builder_append_text(out, index_in_front);
    append_output(out, finished);
}

void finished_check_command(TextBuilder *out, const char *finished) {
    builder_clear(out);
    builder_append_text(out, encoder_program());
    builder_append_text(out, converter_flags);
    append_input(out, " -i ", finished, true);
    builder_append_text(out, stream_copy);
    builder_append_text(out, no_output);
}

// "file '<path>'" lines; a quote in a path ends the quoted part, is escaped,
// and opens a new one: the demuxer's own quoting rules. A cut is an
// "outpoint" in seconds, to the microsecond.
void concat_list_text(TextBuilder *out, const char *const *paths, const i64 *cut_us, i32 count) {
    builder_clear(out);
    for (i32 i = 0; i < count; i++) {
        builder_append_text(out, "file '");
        for (const char *c = paths[i]; *c; c++) {
            if (*c == '\'') builder_append_text(out, "'\\''");
            else builder_append(out, 1, c);
        }
        builder_append_text(out, "'\n");
        if (cut_us && cut_us[i] >= 0)
            append_format(out, "outpoint %lli.%06lli\n", (long long)(cut_us[i] / 1000000),
                          (long long)(cut_us[i] % 1000000));
    }
}

void share_copy_command(TextBuilder *out, const ShareConversion *conversion) {
    builder_clear(out);
    builder_append_text(out, encoder_program());
    builder_append_text(out, converter_flags);
    builder_append_text(out, overwrite);
    append_input(out, " -i ", conversion->recording, true);
    // No blanks or quotes in the filters, so they need no quoting; "\," is
    // the filter syntax's escaped comma, which the command-line rules keep.
    i32 width = conversion->max_width;
    if (conversion->kind == SHARE_COPY_GIF) {
        i32 fps = conversion->fps < SHARE_GIF_MAX_FPS ? conversion->fps : SHARE_GIF_MAX_FPS;
        append_format(out, " -filter_complex fps=%i", fps < 1 ? 1 : fps);
        if (width > 0) append_format(out, ",scale=min(%i\\,iw):-1:flags=lanczos", width);
        builder_append_text(out, ",split[a][b];[a]palettegen[p];[b][p]paletteuse -an");
    } else {
        // yuv420p needs even sizes: an odd region loses its last column or row.
        if (width > 0) append_format(out, " -vf scale=trunc(min(%i\\,iw)/2)*2:-2", width);
        else builder_append_text(out, " -vf crop=trunc(iw/2)*2:trunc(ih/2)*2");
        builder_append_text(out, shareable_video);
        builder_append_text(out, index_in_front);
    }
    append_output(out, conversion->copy);
}
