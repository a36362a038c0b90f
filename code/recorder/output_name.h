// Naming the recording: the output name template's tags and the first free
// name in the output folder.
#pragma once

#include "text_builder.h"

// Expands the output name template's tags into out (appended).
void output_name_expand(TextBuilder *out, StrSlice name_template, const OsDateTime *time, i32 attempt);
enum { OUTPUT_NAME_ATTEMPTS = 100000 };

// A recording's files, beside each other and named from its finished path
// "<stem>.mp4", so that a user sees what each is: the working file the
// encoder writes ("<stem>.recording.mp4", plays whatever happens to the
// encoder; after each pause the next segment's "<stem>.recording-2.mp4",
// "-3" and on), the finishing step's output until it was checked
// ("<stem>.finishing.mp4"), and the list of the segments with where each is
// cut ("<stem>.segments.txt", the concat demuxer's).
enum RecordingFile : u8 {
    RECORDING_FINISHED = 0,
    RECORDING_WORKING = 1,
    RECORDING_FINISHING = 2,
    RECORDING_SEGMENT_LIST = 3,
};
// The finished path without its ".mp4" into out: what its files share.
void recording_stem(TextBuilder *out, const char *finished);
// " (n)" onto out, for the n-th name tried when a file's own is taken;
// nothing for the first.
void append_name_number(TextBuilder *out, i32 number);
// That file's path for the finished path (which ends in ".mp4") into out.
void recording_file_path(TextBuilder *out, const char *finished, RecordingFile file);
// The working file of segment 1, 2, ... of the recording into out.
void recording_segment_path(TextBuilder *out, const char *finished, i32 segment);
// The finished path a working file stands for into out, and which segment it
// holds; false when the path does not name a working file.
bool recording_finished_path(TextBuilder *out, const char *working, i32 *segment = nullptr);
// True when none of the recording's files exists yet (any entry counts).
bool recording_names_free(const char *finished);

// Builds the finished path (folder + "output/" + name + ".mp4") of the first
// name that, with its working and finishing files, does not exist yet; may
// raise memory_counter. Always ends: a template that repeats a taken name,
// expands to no visible name ("", "..") or meets OUTPUT_NAME_ATTEMPTS taken
// names falls back to the default naming. False when that finds no free
// name either: never a taken one.
bool output_path_choose(TextBuilder *path, const OsDateTime *time);
