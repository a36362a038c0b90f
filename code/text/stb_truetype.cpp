// The one compiled copy of stb_truetype, allocating from the process heap,
// and the checks a font file passes before stb_truetype may read it.
#include "font_check.h"

#define STBTT_malloc(size, user) ((void)(user), os_alloc((u32)(size)))
#define STBTT_free(pointer, user) ((void)(user), os_free(pointer))
// Its asserts fire on malformed data it then handles anyway; a font must not
// be able to abort the program.
#define STBTT_assert(x) ((void)sizeof(x))
#define STB_TRUETYPE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_truetype.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// stb_truetype trusts every offset in the file. Offsets of 32 bits (table
// directory, cmap subtables, loca, the CFF's INDEX data) can point anywhere
// and are checked here against the file; everything it reaches through
// 16-bit offsets and counts from a checked start lies within
// FONT_GUARD_BYTES of it, which font_load backs with zeros.

static u32 be16(const u8 *p) { return (u32)p[0] << 8 | p[1]; }
static u32 be32(const u8 *p) { return (u32)p[0] << 24 | (u32)p[1] << 16 | (u32)p[2] << 8 | p[3]; }

struct FontTable {
    i64 offset, size; // size 0: missing
};

struct FontScan {
    const u8 *data;
    i64 length;
    i64 start;
    i64 table_count;
};

static FontTable font_table(const FontScan *scan, const char *tag) {
    const u8 *directory = scan->data + scan->start + 12;
    for (i64 i = 0; i < scan->table_count; i++) {
        const u8 *record = directory + i * 16;
        if (memcmp(record, tag, 4) == 0) return FontTable{be32(record + 8), be32(record + 12)};
    }
    return FontTable{0, 0};
}

static bool font_directory_fits(FontScan *scan) {
    if (scan->start < 0 || scan->start + 12 > scan->length) return false;
    const u8 *at = scan->data + scan->start;
    scan->table_count = be16(at + 4);
    if (scan->start + 12 + scan->table_count * 16 > scan->length) return false;
    for (i64 i = 0; i < scan->table_count; i++) {
        const u8 *record = at + 12 + i * 16;
        if ((i64)be32(record + 8) + (i64)be32(record + 12) > scan->length) return false;
    }
    return true;
}

static bool font_cmap_fits(const FontScan *scan, FontTable cmap) {
    if (cmap.size < 4) return false;
    const u8 *table = scan->data + cmap.offset;
    i64 count = be16(table + 2);
    if (4 + count * 8 > cmap.size) return false;
    for (i64 i = 0; i < count; i++) {
        i64 sub = be32(table + 4 + i * 8 + 4);
        if (sub + 16 > cmap.size) return false;
        u32 format = be16(table + sub);
        if (format == 12 || format == 13) {
            i64 groups = be32(table + sub + 12);
            if (sub + 16 + groups * 12 > cmap.size) return false;
        }
    }
    return true;
}

enum { GLYPH_NESTING_MAX = 16, GLYPH_COMPONENTS_MAX = 256, GLYPH_VERTICES_MAX = 1 << 20 };

struct GlyphScan {
    const FontScan *font;
    i64 glyf, glyf_end, loca;
    i32 glyph_count;
    bool long_offsets;
    i32 *vertices; // per glyph: -2 unseen, -1 in progress, else its outline's vertex count
};

// Where the glyph's outline starts in the file; *length gets its size, as
// loca gives it, or -1 when loca's offsets run backwards or past glyf.
static i64 glyph_start(const GlyphScan *g, i32 glyph, i64 *length) {
    const u8 *loca = g->font->data + g->loca;
    i64 a = g->long_offsets ? be32(loca + glyph * 4) : (i64)be16(loca + glyph * 2) * 2;
    i64 b = g->long_offsets ? be32(loca + glyph * 4 + 4) : (i64)be16(loca + glyph * 2 + 2) * 2;
    *length = b < a || g->glyf + b > g->glyf_end ? -1 : b - a;
    return g->glyf + a;
}

// The vertices stb_truetype allocates for a simple outline of the given
// contours, after walking its end points, instructions, flags and
// coordinates exactly as it does; -1 when that walk leaves the glyph's own
// bytes, or the conversion would write or read past its array.
static i64 simple_glyph_vertices(const u8 *glyph, i64 length, i32 contours) {
    i64 at = 10 + 2 * (i64)contours + 2;
    if (at > length) return -1;
    // End points in increasing order make one vertex array of n + 2 per
    // contour enough for the outline it converts in place.
    i64 last_end = -1;
    for (i32 c = 0; c < contours; c++) {
        i64 end = be16(glyph + 10 + 2 * c);
        if (end <= last_end) return -1;
        last_end = end;
    }
    i64 points = last_end + 1;
    at += be16(glyph + 10 + 2 * (i64)contours); // the instructions
    u32 flags = 0, repeat = 0;
    i64 coordinates = 0;
    for (i64 i = 0; i < points; i++) {
        if (repeat == 0) {
            if (at >= length) return -1;
            flags = glyph[at++];
            if (flags & 8) {
                if (at >= length) return -1;
                repeat = glyph[at++];
            }
        } else {
            repeat--;
        }
        coordinates += (flags & 2) ? 1 : (flags & 16) ? 0 : 2; // x
        coordinates += (flags & 4) ? 1 : (flags & 32) ? 0 : 2; // y
    }
    if (at + coordinates > length) return -1;
    // A contour that starts off the curve has its start looked up in the
    // next point, which past the last one lies outside the array.
    bool last_alone = contours == 1 ? points == 1 : be16(glyph + 10 + 2 * contours - 4) == points - 2;
    if (last_alone && !(flags & 1)) return -1;
    return points + 2 * (i64)contours;
}

// The vertex count stb_truetype will build for the glyph, composites
// expanded, or -1 for an outline it must not see: one that reads past its
// own bytes, nests too deep (or in a cycle), or grows too large to draw.
static i64 glyph_vertices(GlyphScan *g, i32 glyph, i32 depth) {
    if (glyph < 0 || glyph >= g->glyph_count) return 0; // stb_truetype draws nothing
    if (g->vertices[glyph] >= 0) return g->vertices[glyph];
    if (g->vertices[glyph] == -1 || depth > GLYPH_NESTING_MAX) return -1;
    i64 length = 0, at = glyph_start(g, glyph, &length);
    if (length == 0) return g->vertices[glyph] = 0;
    if (length < 10) return -1; // the header: contour count and box
    const u8 *data = g->font->data + at;
    i32 contours = (i16)be16(data);
    i64 total = 0;
    if (contours > 0) {
        total = simple_glyph_vertices(data, length, contours);
        if (total < 0) return -1;
    } else if (contours < 0) {
        g->vertices[glyph] = -1;
        i64 component = 10;
        for (i32 n = 0;; n++) {
            if (n >= GLYPH_COMPONENTS_MAX || component + 4 > length) return -1;
            u32 flags = be16(data + component);
            i64 part = glyph_vertices(g, (i32)be16(data + component + 2), depth + 1);
            if (part < 0) return -1;
            total += part;
            // Offsets only with ARGS_ARE_XY_VALUES: stb_truetype reads no
            // point numbers.
            component += 4 + ((flags & 2) ? ((flags & 1) ? 4 : 2) : 0) +
                         ((flags & 8) ? 2 : (flags & 0x40) ? 4 : (flags & 0x80) ? 8 : 0);
            if (component > length) return -1;
            if (!(flags & 0x20)) break;
        }
    }
    if (total > GLYPH_VERTICES_MAX) return -1;
    return g->vertices[glyph] = (i32)total;
}

static bool font_glyphs_fit(const FontScan *scan, FontTable head, FontTable loca, FontTable glyf,
                            i32 glyph_count) {
    u32 loca_format = be16(scan->data + head.offset + 50);
    if (loca.size == 0 || loca_format > 1) return false;
    GlyphScan g = {scan, glyf.offset, glyf.offset + glyf.size, loca.offset, glyph_count, loca_format == 1,
                   nullptr};
    if (loca.size < ((i64)glyph_count + 1) * (g.long_offsets ? 4 : 2)) return false;
    g.vertices = (i32 *)os_alloc((u32)glyph_count * 4 + 4);
    if (!g.vertices) return false;
    for (i32 i = 0; i < glyph_count; i++) g.vertices[i] = -2;
    bool fits = true;
    for (i32 i = 0; i < glyph_count && fits; i++) fits = glyph_vertices(&g, i, 0) >= 0;
    os_free(g.vertices);
    return fits;
}

// Kerning. stb_truetype reaches everything in these tables through 16-bit
// offsets and counts, within the guard, except two arrays sized by
// products or long runs of records: the kern table's pairs and a class
// pair subtable's class records, which must lie in their table.
static bool font_kern_fits(const FontScan *scan, FontTable kern) {
    if (kern.size == 0) return true;
    const u8 *table = scan->data + kern.offset;
    // Only a first horizontal subtable of format 0 is read.
    if (be16(table + 2) < 1 || be16(table + 8) != 1) return true;
    return 18 + (i64)be16(table + 10) * 6 <= kern.size;
}

// stb_truetype walks every pair subtable for every pair of letters drawn:
// more than this many is a font made to stall the drawing.
enum { GPOS_PAIR_SUBTABLES_MAX = 4096 };

static bool font_gpos_fits(const FontScan *scan, FontTable gpos) {
    if (gpos.size == 0) return true;
    const u8 *table = scan->data + gpos.offset;
    if (be16(table) != 1 || be16(table + 2) != 0) return true; // only version 1.0 is read
    i64 walked = 0;
    i64 lookups = be16(table + 8);
    for (i64 i = 0, count = be16(table + lookups); i < count; i++) {
        i64 lookup = lookups + be16(table + lookups + 2 + 2 * i);
        if (be16(table + lookup) != 2) continue; // pair adjustment
        for (i64 s = 0, subtables = be16(table + lookup + 4); s < subtables; s++) {
            if (++walked > GPOS_PAIR_SUBTABLES_MAX) return false;
            i64 pairs = lookup + be16(table + lookup + 6 + 2 * s);
            // Class pairs with an x advance alone: class1 x class2 records.
            const u8 *at = table + pairs;
            if (be16(at) != 2 || be16(at + 4) != 4 || be16(at + 6) != 0) continue;
            if (pairs + 16 + 2 * (i64)be16(at + 12) * be16(at + 14) > gpos.size) return false;
        }
    }
    return true;
}

// An INDEX at the cursor lies wholly inside the CFF table.
static bool cff_index_fits(stbtt__buf *b) {
    i64 start = b->cursor;
    if (start + 2 > b->size) return false;
    i64 count = stbtt__buf_get16(b);
    if (count == 0) return true;
    if (start + 3 > b->size) return false;
    i64 size = stbtt__buf_get8(b);
    if (size < 1 || size > 4) return false;
    i64 offsets = start + 3, data = offsets + (count + 1) * size - 1;
    if (data > b->size) return false;
    for (i64 i = 0; i <= count; i++) {
        stbtt__buf_seek(b, (int)(offsets + i * size));
        i64 offset = stbtt__buf_get(b, (int)size);
        if (offset < 1 || data + offset > b->size) return false;
    }
    b->cursor = (int)start;
    stbtt__cff_get_index(b);
    return true;
}

static bool cff_seek(stbtt__buf *b, i64 offset) {
    if (offset < 0 || offset > b->size) return false;
    stbtt__buf_seek(b, (int)offset);
    return true;
}

static bool cff_subrs_fit(stbtt__buf cff, stbtt__buf dict) {
    stbtt_uint32 private_loc[2] = {0, 0}, subrs = 0;
    stbtt__dict_get_ints(&dict, 18, 2, private_loc);
    if (!private_loc[1] || !private_loc[0]) return true;
    if ((i64)private_loc[1] + private_loc[0] > cff.size) return false;
    stbtt__buf private_dict = stbtt__buf_range(&cff, (int)private_loc[1], (int)private_loc[0]);
    stbtt__dict_get_ints(&private_dict, 19, 1, &subrs);
    if (!subrs) return true;
    return cff_seek(&cff, (i64)private_loc[1] + subrs) && cff_index_fits(&cff);
}

// Walks the CFF the way stbtt_InitFont does, but inside the table's real size.
static bool font_cff_fits(const FontScan *scan, FontTable table) {
    if (table.size < 4 || table.size >= 0x40000000) return false;
    stbtt__buf b = stbtt__new_buf(scan->data + table.offset, (size_t)table.size);
    stbtt__buf_skip(&b, 2);
    if (!cff_seek(&b, stbtt__buf_get8(&b))) return false;
    if (!cff_index_fits(&b)) return false; // names
    stbtt__buf top_index = b;
    if (!cff_index_fits(&b)) return false;
    top_index = stbtt__buf_range(&top_index, top_index.cursor, b.cursor - top_index.cursor);
    stbtt__buf top = stbtt__cff_index_get(top_index, 0);
    if (!cff_index_fits(&b) || !cff_index_fits(&b)) return false; // strings, global subroutines
    stbtt_uint32 charstrings = 0, fdarray = 0, fdselect = 0;
    stbtt__dict_get_ints(&top, 17, 1, &charstrings);
    stbtt__dict_get_ints(&top, 0x100 | 36, 1, &fdarray);
    stbtt__dict_get_ints(&top, 0x100 | 37, 1, &fdselect);
    if (!cff_subrs_fit(b, top)) return false;
    if (fdarray) {
        if (!cff_seek(&b, fdarray) || !cff_index_fits(&b) || fdselect > (u32)b.size) return false;
        // Each font dictionary's private subroutines, fetched per glyph later.
        stbtt__buf_seek(&b, (int)fdarray);
        stbtt__buf dicts = stbtt__cff_get_index(&b);
        i32 count = stbtt__cff_index_count(&dicts);
        for (i32 i = 0; i < count; i++)
            if (!cff_subrs_fit(b, stbtt__cff_index_get(dicts, i))) return false;
    }
    return charstrings && cff_seek(&b, charstrings) && cff_index_fits(&b);
}

bool font_check(const u8 *data, i64 length, i64 start) {
    FontScan scan = {data, length, start, 0};
    if (!font_directory_fits(&scan)) return false;
    FontTable cmap = font_table(&scan, "cmap"), head = font_table(&scan, "head");
    FontTable hhea = font_table(&scan, "hhea"), hmtx = font_table(&scan, "hmtx");
    FontTable maxp = font_table(&scan, "maxp"), glyf = font_table(&scan, "glyf");
    if (head.size < 54 || hhea.size < 36 || hmtx.size < 4 || !font_cmap_fits(&scan, cmap)) return false;
    if (maxp.size != 0 && maxp.size < 6) return false;
    i32 glyph_count = maxp.size ? (i32)be16(data + maxp.offset + 4) : 0xFFFF;
    if (!font_kern_fits(&scan, font_table(&scan, "kern")) || !font_gpos_fits(&scan, font_table(&scan, "GPOS")))
        return false;
    if (glyf.size) return font_glyphs_fit(&scan, head, font_table(&scan, "loca"), glyf, glyph_count);
    return font_cff_fits(&scan, font_table(&scan, "CFF "));
}

void font_bound_cff(stbtt_fontinfo *info, i64 length) {
    if (!info->cff.size) return;
    i64 available = length - (info->cff.data - info->data);
    if (available < info->cff.size) info->cff.size = (int)available;
    if (info->fdselect.size) {
        i64 left = length - (info->fdselect.data - info->data);
        if (left < info->fdselect.size) info->fdselect.size = (int)(left > 0 ? left : 0);
    }
}
