// Naming the recording: the output name template's tags and the first free
// name in the output folder.
#pragma once

#include "text_builder.h"

// Expands the output name template's tags into out (appended).
void output_name_expand(TextBuilder *out, StrSlice name_template, const OsDateTime *time, i32 attempt);
enum { OUTPUT_NAME_ATTEMPTS = 100000 };

// Builds the output path (folder + "output/" + name + ".mp4") of the first
// name that does not exist yet; may raise memory_counter. Always ends: a
// template that repeats a taken name, expands to no visible name ("", "..")
// or meets OUTPUT_NAME_ATTEMPTS taken names falls back to the default
// naming. False when that finds no free name either: never a taken one.
bool output_path_choose(TextBuilder *path, const OsDateTime *time);
