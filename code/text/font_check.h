// What a font file must satisfy before stb_truetype reads it: stb_truetype
// trusts every offset and count in the file.
#pragma once

#include "../os/os.h"

#include <stb_truetype.h>

// Zero bytes font_load keeps after its copy of a font: the farthest
// stb_truetype reads past a checked position through 16-bit offsets and
// counts (cmap, hmtx, loca, a glyph's outline, kern and GPOS tables).
enum { FONT_GUARD_BYTES = 1 << 20 };

// True when the font at start (the table directory) in data may be handed to
// stb_truetype, data being followed by FONT_GUARD_BYTES zeros: the tables lie
// in the file; cmap subtables and their groups, loca's glyph offsets and the
// CFF's INDEX structures point inside it; each glyph's contours, flags,
// points and components lie in its own bytes, and composite glyphs nest at
// most 16 deep without cycles and expand to at most 2^20 vertices; the kern
// table's pairs and GPOS's class pair records lie in their tables.
bool font_check(const u8 *data, i64 length, i64 start);
// stbtt_InitFont assumes a CFF table of 512 MiB; this bounds it (and the CID
// font's FDSelect) by the file's length.
void font_bound_cff(stbtt_fontinfo *info, i64 length);
