// Decoding the icon sheet from PNG bytes.
#pragma once

#include "../os/os.h"

// The largest sheet accepted, in pixels (16 MiB decoded).
enum { ICON_SHEET_PIXELS_MAX = 1 << 22 };

// Decodes PNG bytes into icon_sheet (0xAARRGGBB). False, with the sheet
// unchanged, for anything that is not a decodable PNG (shorter than 9 bytes
// is rejected before parsing) or that is larger than ICON_SHEET_PIXELS_MAX.
bool icon_sheet_decode(StrSlice png);

// The sheet built into the program, used when icons.png is missing or bad.
extern const u8 icons_builtin_png[];
extern const u32 icons_builtin_png_size;
