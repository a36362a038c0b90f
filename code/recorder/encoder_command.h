// The encoder's command lines, put together from named pieces: the program,
// the capture inputs (per platform), the codecs, the output. Every value
// inserted is quoted so that the line splits back into exactly the intended
// arguments.
#pragma once

#include "../os/os.h"
#include "text_builder.h"

// What a recording reads besides its settings (region, frame rate, pointer).
struct RecordingInputs {
    bool device;       // audio_device_name
    bool system_sound; // the computer's own sound
    // The computer's sound as this process streams it (Windows); null: the
    // encoder's own input reads it (Linux: the default output's monitor).
    const char *sound_pipe;
    // The screen as this process feeds it (a Wayland desktop): raw frames of
    // this size and rate; null: the encoder grabs the screen itself.
    const char *screen_pipe;
    i32 screen_width, screen_height, screen_rate;
};

// The recording's command line into out: the screen, the sound the inputs
// ask for (two sources mixed into one track), the lossless codecs. The
// output is the working file: fragmented MP4, which plays up to its last
// second whenever the encoder dies.
void recording_command(TextBuilder *out, const char *working_path, const RecordingInputs *inputs);
// What a recording with sound is told on its standard input to end its
// picture at once. The sound reaches ffmpeg a little later than the picture
// (the sound server's latency), and "q" stops both where they are, leaving
// the sound ~0.1 s short of the picture at every stop; told this first, the
// sound runs on until "q", and the finishing step cuts it where the picture
// ended, so that each segment's sound is exactly as long as its picture. The
// picture of a recording with sound passes a concat filter for it.
extern const char recording_picture_end_input[];

// The finishing step's remux: the recording's frames copied, not encoded
// again, into an ordinary MP4 with its index in front. The input is the one
// working file, or (list) the concat demuxer's list of several. It writes
// -progress lines, the last with the frames and the time written.
void finishing_command(TextBuilder *out, const char *input, bool list, const char *finished);
// Reads a finished file through without writing anything: its -progress
// lines say how many frames, how long.
void finished_check_command(TextBuilder *out, const char *finished);
// The concat demuxer's list of the working files, in recording order, each
// cut where its picture ended when cut_us (null for none) gives a time >= 0.
void concat_list_text(TextBuilder *out, const char *const *paths, const i64 *cut_us, i32 count);

// The GIF's frame rate never exceeds this: more only makes big files that
// many viewers slow down anyway.
enum { SHARE_GIF_MAX_FPS = 25 };

struct ShareConversion {
    const char *recording; // the lossless recording's path
    const char *copy;      // the copy's path
    u8 kind;               // SHARE_COPY_MP4 or SHARE_COPY_GIF
    i32 max_width;         // 0: keep the width
    i32 fps;               // the recording's frame rate
};
// The share copy's conversion command line into out. It writes ffmpeg's
// -progress lines to standard output.
void share_copy_command(TextBuilder *out, const ShareConversion *conversion);

// Appends text quoted by the Windows command-line rules, so that splitting
// the line gives it back unchanged; bare when `always` is false and it needs
// no quotes.
void encoder_append_quoted(TextBuilder *out, const char *text, i64 length, bool always);
