// Text over stb_truetype: a font face with its glyph cache, UTF-8 decoding,
// and drawing with sub-pixel positioning, kerning and alpha blending.
#pragma once

#include "../os/os.h"

#include <stb_truetype.h>

struct GlyphEntry {
    u32 codepoint;
    i32 glyph;            // 0 when the font has no glyph for the code point
    i16 advance;          // font units
    i16 left_bearing;     // font units
    i32 vertex_count;     // 0 until first drawn
    stbtt_vertex *vertices; // null until first drawn, then kept for the run
    // The glyph's bounds in font units, cached with the outline: for CFF
    // fonts they come from running the charstring.
    i32 box_x0, box_y0, box_x1, box_y1;
    u8 box_state; // 0 not read yet, 1 no outline data, 2 box read
};

struct FontFace {
    stbtt_fontinfo info; // reads the face's checked copy of the font
    i16 ascent;          // hhea ascender, font units
    i16 descent;         // hhea descender, font units
    // The cache: entry i holds code point i for i < 256, then code points
    // above 255 in ascending order.
    GlyphEntry *glyphs;
    i32 glyph_count;
    i32 glyph_capacity;
    u8 *scratch; // coverage of the glyph being drawn
    i32 scratch_capacity;
};

struct TextStyle {
    FontFace *face; // null: text_draw draws nothing
    f32 pixel_height;
    f32 line_height;
    f32 line_gap;
    f32 letter_spacing;
    u32 colour; // only red, green and blue are used
};

extern TextStyle text_style;

// Sets up font 0 of the data as a new face, appends it to the face list and
// makes it text_style's face. Null (and text_style unchanged) when the data
// is not a usable font or fails font_check. The face keeps its own copy, so
// the data may be freed at once.
FontFace *font_load(StrSlice data);
// Frees a face from font_load with its cache and copy, and takes it off the
// face list (and out of text_style).
void font_unload(FontFace *face);
// The cache entry of a code point, created on first use; null only when the
// cache cannot grow.
GlyphEntry *glyph_lookup(FontFace *face, u32 codepoint);
// Decodes one character of at most `available` bytes (>= 1) into *length
// (1..4). A sequence cut off by the end decodes as U+FFFD over the remaining
// bytes; nothing past them is read.
u32 utf8_decode(const u8 *bytes, i64 available, i32 *length);
// Draws UTF-8 text with its first line's top at y and the pen at x.
void text_draw(Canvas *canvas, f32 x, f32 y, StrSlice text);
// How many leading bytes of the text (whole characters, one line) the pen
// passes over before it would move beyond width pixels; the text's length
// when all of it fits or there is no face.
i64 text_fit(StrSlice text, f32 width);
// How far the pen moves over the whole text (one line); 0 without a face.
f32 text_width(StrSlice text);
// One canvas pixel after blending coverage c of the colour onto it.
u32 text_blend(u32 pixel, u32 colour, u8 coverage);
