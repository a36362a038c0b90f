// The encoder's file name and command line: the one place where the two
// platforms differ in application code.
#pragma once

#include "../os/os.h"
#include "text_builder.h"

// The encoder program's file name beside the executable ("ffmpeg.exe" on
// Windows, "ffmpeg" on Linux).
const char *encoder_file_name(void);
// The panel's words when the encoder is nowhere to be found: where it was
// looked for and what to do.
const char *encoder_missing_text(void);

// Formats the encoder command line for the current settings into buffer
// (os_format rules: measure with a null buffer). Video only unless audio is
// on and a device is configured.
i32 encoder_command_format(char *buffer, i32 capacity, const char *output_path);

// Appends text quoted by the Windows command-line rules, so that splitting
// the line gives it back unchanged; bare when `always` is false and it needs
// no quotes.
void encoder_append_quoted(TextBuilder *out, const char *text, i64 length, bool always);
