#include "text.h"

#include "font_check.h"

#include <math.h>
#include <string.h>

TextStyle text_style = {nullptr, 16.0f, 1.0f, 0.0f, 0.0f, 0xFFFFFFFF};

static FontFace **font_faces;
static i32 font_face_count;
static i32 font_face_capacity;

static const i32 glyph_capacity_first = 512;
static const i32 glyph_capacity_step = 262144;
static const i32 scratch_size_first = 1000000;
// Larger fonts are refused rather than copied.
static const i64 FONT_SIZE_MAX = 64 << 20;
// A glyph bigger than this many pixels is not drawn: only a hostile font's
// metrics make one, and its bitmap would take gigabytes.
static const i64 glyph_pixels_max = 1 << 24;

u32 utf8_decode(const u8 *bytes, i64 available, i32 *length) {
    if (available < 1) {
        *length = 0;
        return 0;
    }
    u32 b0 = bytes[0];
    i32 need;
    if (b0 < 0x80) need = 1;
    else if (b0 < 0xC0) need = 0;
    else if (b0 < 0xE0) need = 2;
    else if (b0 < 0xF0) need = 3;
    else if (b0 < 0xF8) need = 4;
    else need = 0;
    if (need == 0) {
        *length = 1;
        return 0xFFFD;
    }
    if (need > available) {
        *length = (i32)available;
        return 0xFFFD;
    }
    *length = need;
    switch (need) {
    case 1: return b0;
    case 2: return (b0 & 0x1F) << 6 | (bytes[1] & 0x3Fu);
    case 3: return (b0 & 0x0F) << 12 | (bytes[1] & 0x3Fu) << 6 | (bytes[2] & 0x3Fu);
    default:
        return (b0 & 0x07) << 18 | (bytes[1] & 0x3Fu) << 12 | (bytes[2] & 0x3Fu) << 6 |
               (bytes[3] & 0x3Fu);
    }
}

static void glyph_fill(FontFace *face, GlyphEntry *entry, u32 codepoint) {
    int advance = 0, bearing = 0;
    entry->codepoint = codepoint;
    entry->glyph = stbtt_FindGlyphIndex(&face->info, (int)codepoint);
    // A 32-bit cmap can name any number; stb_truetype's metrics and kerning
    // read at it unchecked. Past the font's glyphs it is the missing glyph.
    if (entry->glyph < 0 || entry->glyph >= face->info.numGlyphs) entry->glyph = 0;
    stbtt_GetGlyphHMetrics(&face->info, entry->glyph, &advance, &bearing);
    entry->advance = (i16)advance;
    entry->left_bearing = (i16)bearing;
    entry->vertex_count = 0;
    entry->vertices = nullptr;
    entry->box_state = 0;
}

static bool glyph_reserve(FontFace *face, i32 needed) {
    if (needed <= face->glyph_capacity) return true;
    i64 capacity = face->glyph_capacity < 1 ? glyph_capacity_first : face->glyph_capacity;
    while (capacity < needed)
        capacity += capacity < glyph_capacity_step ? capacity : glyph_capacity_step;
    i64 bytes = capacity * (i64)sizeof(GlyphEntry);
    if (bytes >= (i64)UINT32_MAX) return false;
    GlyphEntry *glyphs = face->glyphs ? (GlyphEntry *)os_realloc(face->glyphs, (u32)bytes)
                                      : (GlyphEntry *)os_alloc((u32)bytes);
    if (!glyphs) return false;
    face->glyphs = glyphs;
    face->glyph_capacity = (i32)capacity;
    return true;
}

GlyphEntry *glyph_lookup(FontFace *face, u32 codepoint) {
    if (codepoint < 256) return codepoint < (u32)face->glyph_count ? &face->glyphs[codepoint] : nullptr;
    // The entries above 255 are sorted: find the first one greater than the
    // code point, which is also where a new one goes.
    i32 low = 256, high = face->glyph_count;
    while (low < high) {
        i32 middle = low + (high - low) / 2;
        if (face->glyphs[middle].codepoint <= codepoint) low = middle + 1;
        else high = middle;
    }
    if (low > 256 && face->glyphs[low - 1].codepoint == codepoint) return &face->glyphs[low - 1];
    if (face->glyph_count < 256 || !glyph_reserve(face, face->glyph_count + 1)) return nullptr;
    GlyphEntry *entry = &face->glyphs[low];
    memmove(entry + 1, entry, (size_t)(face->glyph_count - low) * sizeof(GlyphEntry));
    face->glyph_count += 1;
    glyph_fill(face, entry, codepoint);
    return entry;
}

FontFace *font_load(StrSlice data) {
    if (!data.data || data.length < 12 || data.length > FONT_SIZE_MAX) return nullptr;
    // The face's own copy, with the zeros the checks count on behind it.
    // Zeroed by the allocator, which maps fresh pages for a block this size:
    // the guard costs memory only where something reads it.
    u8 *bytes = (u8 *)os_alloc_zeroed((u32)(data.length + FONT_GUARD_BYTES));
    if (!bytes) return nullptr;
    memcpy(bytes, data.data, (size_t)data.length);
    // A collection's directory offset is 32 bits from the file: as an int it
    // may be negative, which the check refuses.
    int offset = stbtt_GetFontOffsetForIndex(bytes, 0);
    stbtt_fontinfo info;
    if (!font_check(bytes, data.length, offset) || !stbtt_InitFont(&info, bytes, offset)) {
        os_free(bytes);
        return nullptr;
    }
    font_bound_cff(&info, data.length);
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(&info, &ascent, &descent, &gap);
    // The scale divides by the font's height; a font without one draws nothing sensible.
    if (ascent - descent <= 0) {
        os_free(bytes);
        return nullptr;
    }

    if (font_face_count == font_face_capacity) {
        i32 capacity = font_face_capacity < 1 ? 32 : font_face_capacity * 2;
        u32 bytes_wanted = (u32)capacity * (u32)sizeof(FontFace *);
        FontFace **faces = font_faces ? (FontFace **)os_realloc(font_faces, bytes_wanted)
                                      : (FontFace **)os_alloc(bytes_wanted);
        if (!faces) {
            os_free(bytes);
            return nullptr;
        }
        font_faces = faces;
        font_face_capacity = capacity;
    }
    FontFace *face = (FontFace *)os_alloc_zeroed(sizeof(FontFace));
    if (!face) {
        os_free(bytes);
        return nullptr;
    }
    face->info = info;
    face->ascent = (i16)ascent;
    face->descent = (i16)descent;
    face->scratch = (u8 *)os_alloc(scratch_size_first);
    face->scratch_capacity = face->scratch ? scratch_size_first : 0;
    if (!glyph_reserve(face, glyph_capacity_first)) {
        os_free(face->scratch);
        os_free(face);
        os_free(bytes);
        return nullptr;
    }
    for (u32 c = 0; c < 256; c++) glyph_fill(face, &face->glyphs[c], c);
    face->glyph_count = 256;

    font_faces[font_face_count++] = face;
    text_style.face = face;
    return face;
}

void font_unload(FontFace *face) {
    if (!face) return;
    for (i32 i = 0; i < font_face_count; i++) {
        if (font_faces[i] != face) continue;
        font_faces[i] = font_faces[--font_face_count];
        break;
    }
    if (text_style.face == face) text_style.face = nullptr;
    for (i32 i = 0; i < face->glyph_count; i++) os_free(face->glyphs[i].vertices);
    os_free(face->glyphs);
    os_free(face->scratch);
    os_free(face->info.data);
    os_free(face);
}

u32 text_blend(u32 pixel, u32 colour, u8 coverage) {
    u32 a = pixel >> 24;
    if (coverage == 255 || a == 0) return (u32)coverage << 24 | (colour & 0x00FFFFFF);
    if (coverage == 0) return pixel;
    f32 t = coverage / 255.0f;
    u32 result = 0;
    if (a == 255) {
        for (int shift = 0; shift < 24; shift += 8) {
            f32 dst = (f32)(pixel >> shift & 0xFF), src = (f32)(colour >> shift & 0xFF);
            u32 value = (u32)(dst * (1 - t) + src * t);
            result |= (value > 255 ? 255 : value) << shift;
        }
        return result | 0xFF000000u;
    }
    f32 oa = a / 255.0f * (1 - t) + t;
    f32 t2 = t / oa;
    for (int shift = 0; shift < 24; shift += 8) {
        f32 dst = (f32)(pixel >> shift & 0xFF), src = (f32)(colour >> shift & 0xFF);
        u32 value = (u32)(src * t2 + dst * (1 - t2));
        result |= (value > 255 ? 255 : value) << shift;
    }
    u32 alpha = (u32)(oa * 255);
    return result | (alpha > 255 ? 255 : alpha) << 24;
}

// Far beyond any canvas, and still safe to convert to an integer.
static bool on_canvas_scale(f32 v) { return v > -1e9f && v < 1e9f; }

static void glyph_draw(Canvas *canvas, FontFace *face, GlyphEntry *entry, f32 pen_x,
                       f32 baseline, f32 scale) {
    if (!on_canvas_scale(pen_x) || !on_canvas_scale(baseline)) return;
    f32 fx = pen_x - floorf(pen_x), fy = baseline - floorf(baseline);
    if (entry->box_state == 0) {
        int bx0 = 0, by0 = 0, bx1 = 0, by1 = 0;
        bool has_box = stbtt_GetGlyphBox(&face->info, entry->glyph, &bx0, &by0, &bx1, &by1) != 0;
        entry->box_x0 = bx0;
        entry->box_y0 = by0;
        entry->box_x1 = bx1;
        entry->box_y1 = by1;
        entry->box_state = has_box ? 2 : 1;
    }
    if (entry->box_state != 2) return;
    // stb_truetype's sub-pixel bitmap box, over the cached bounds.
    i64 x0 = (i64)floorf(entry->box_x0 * scale + fx);
    i64 y0 = (i64)floorf(-entry->box_y1 * scale + fy);
    i64 x1 = (i64)ceilf(entry->box_x1 * scale + fx);
    i64 y1 = (i64)ceilf(-entry->box_y0 * scale + fy);
    i64 w = x1 - x0, h = y1 - y0;
    if (w <= 0 || h <= 0) return;
    if (w * h > face->scratch_capacity) {
        if (w * h > glyph_pixels_max) return;
        u8 *scratch = face->scratch ? (u8 *)os_realloc(face->scratch, (u32)(w * h))
                                    : (u8 *)os_alloc((u32)(w * h));
        if (!scratch) return;
        face->scratch = scratch;
        face->scratch_capacity = (i32)(w * h);
    }
    if (!entry->vertices) entry->vertex_count = stbtt_GetGlyphShape(&face->info, entry->glyph, &entry->vertices);
    // Without an outline nothing is rasterised, and the scratch holds another glyph.
    if (entry->vertex_count <= 0) return;
    stbtt__bitmap bitmap = {(int)w, (int)h, (int)w, face->scratch};
    stbtt_Rasterize(&bitmap, 0.35f, entry->vertices, entry->vertex_count, scale, scale, fx, fy,
                    (int)x0, (int)y0, 1, face->info.userdata);

    // Rounded down, not toward zero: the bitmap already holds the pen's
    // fraction, and truncation would shift a glyph that starts left of or
    // above the canvas by one pixel. Both agree wherever the sum is >= 0.
    f32 left = (f32)x0 + pen_x, top = (f32)y0 + baseline;
    if (!on_canvas_scale(left) || !on_canvas_scale(top)) return;
    i64 column = (i64)floorf(left), row = (i64)floorf(top);
    u32 colour = text_style.colour;
    for (i64 r = 0; r < h; r++) {
        i64 y = row + r;
        if (y < 0 || y >= canvas->height) continue;
        const u8 *coverage = face->scratch + r * w;
        u32 *line = canvas->pixels + y * canvas->width;
        for (i64 c = 0; c < w; c++) {
            i64 x = column + c;
            if (x < 0 || x >= canvas->width) continue;
            line[x] = text_blend(line[x], colour, coverage[c]);
        }
    }
}

void text_draw(Canvas *canvas, f32 x, f32 y, StrSlice text) {
    FontFace *face = text_style.face;
    if (!face || !canvas || !canvas->pixels || canvas->width < 1 || canvas->height < 1) return;
    if (!text.data || text.length < 1) return;
    f32 scale = text_style.pixel_height / (f32)(face->ascent - face->descent);
    f32 line_step = text_style.line_height * face->ascent * scale;
    f32 pen_x = x;
    f32 baseline = y + face->ascent * scale;
    const u8 *bytes = (const u8 *)text.data;
    i64 i = 0;
    while (i < text.length) {
        if (bytes[i] == 10) {
            pen_x = x;
            baseline += line_step * text_style.line_gap + line_step;
            i += 1;
            continue;
        }
        i32 length;
        u32 codepoint = utf8_decode(bytes + i, text.length - i, &length);
        GlyphEntry *entry = glyph_lookup(face, codepoint);
        i += length;
        if (!entry) continue;
        glyph_draw(canvas, face, entry, pen_x, baseline, scale);
        // The next lookup may move the cache: keep what is needed of this entry.
        i32 glyph = entry->glyph;
        i16 advance = entry->advance;
        i32 kern = 0;
        if (i < text.length) {
            i32 next_length;
            GlyphEntry *next = glyph_lookup(face, utf8_decode(bytes + i, text.length - i, &next_length));
            if (next) kern = stbtt_GetGlyphKernAdvance(&face->info, glyph, next->glyph);
        }
        pen_x += advance * scale + kern * scale + text_style.letter_spacing * text_style.pixel_height;
    }
}

// Walks the pen over the text as text_draw does, up to the first character
// that would take it beyond width; *advance gets how far it went.
static i64 text_measure(StrSlice text, f32 width, f32 *advance) {
    FontFace *face = text_style.face;
    *advance = 0.0f;
    if (!text.data || text.length < 1) return 0;
    if (!face) return text.length;
    f32 scale = text_style.pixel_height / (f32)(face->ascent - face->descent);
    const u8 *bytes = (const u8 *)text.data;
    i64 i = 0;
    while (i < text.length) {
        i32 length;
        GlyphEntry *entry = glyph_lookup(face, utf8_decode(bytes + i, text.length - i, &length));
        f32 step = 0.0f;
        if (entry) {
            i32 glyph = entry->glyph;
            step = entry->advance * scale + text_style.letter_spacing * text_style.pixel_height;
            if (i + length < text.length) {
                i32 next_length;
                GlyphEntry *next =
                    glyph_lookup(face, utf8_decode(bytes + i + length, text.length - i - length, &next_length));
                if (next) step += stbtt_GetGlyphKernAdvance(&face->info, glyph, next->glyph) * scale;
            }
        }
        if (*advance + step > width) return i;
        *advance += step;
        i += length;
    }
    return text.length;
}

i64 text_fit(StrSlice text, f32 width) {
    f32 advance;
    return text_measure(text, width, &advance);
}

f32 text_width(StrSlice text) {
    f32 advance;
    text_measure(text, 3.4e38f, &advance);
    return advance;
}
