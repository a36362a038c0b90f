// Naming the recording: the output name template's tags and the first free
// name in the output folder.
#pragma once

#include "text_builder.h"

// Expands the output name template's tags into out (appended).
void output_name_expand(TextBuilder *out, StrSlice name_template, const OsDateTime *time, i32 attempt);
// Builds the output path (folder + "output/" + name + ".mp4") of the first
// name that does not exist yet; may raise memory_counter.
void output_path_choose(TextBuilder *path, const OsDateTime *time);
