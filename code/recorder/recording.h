// Countdown and recording: naming the output file, the encoder's command
// line, and driving the encoder process.
#pragma once

#include "app.h"

// The encoder program's file name beside the executable ("ffmpeg.exe" on
// Windows, "ffmpeg" on Linux).
const char *encoder_file_name(void);

// Formats the encoder command line for the current settings into buffer
// (os_format rules: measure with a null buffer). Video only unless audio is
// on and a device is configured.
i32 encoder_command_format(char *buffer, i32 capacity, const char *output_path);

// Expands the output name template's tags into out (appended).
void output_name_expand(TextBuilder *out, StrSlice name_template, const OsDateTime *time, i32 attempt);
// Builds the output path (folder + "output/" + name + ".mp4") of the first
// name that does not exist yet; may raise memory_counter.
void output_path_choose(TextBuilder *path, const OsDateTime *time);

// Ends a running encoder when the program quits: asks it to finish with
// "q\n" (once), waits up to 5 s, and kills it only if it has not exited.
void recording_quit(void);
