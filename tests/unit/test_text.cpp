// Text: UTF-8 decoding at the end of the text, the glyph cache's order and
// growth, drawing (line feeds, kerning, clipping) with both outline kinds,
// and the four blending rules.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include <vector>

#include "text/text.h"

static const char *dejavu_path = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
static const char *inter_path = "/usr/share/fonts/opentype/inter/Inter-Regular.otf";

static std::string read_file(const char *path) {
    std::string data;
    FILE *file = fopen(path, "rb");
    if (!file) return data;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) data.append(buffer, n);
    fclose(file);
    return data;
}

// Each font is loaded once and stays loaded, as in the program; the face
// keeps its own copy of the file.
static FontFace *face_from(const char *path) {
    std::string data = read_file(path);
    return font_load(StrSlice{(i64)data.size(), data.data()});
}

static FontFace *dejavu() {
    static FontFace *face = face_from(dejavu_path);
    return face;
}

static FontFace *inter() {
    static FontFace *face = face_from(inter_path);
    return face;
}

struct Image {
    std::vector<u32> pixels;
    Canvas canvas;
    Image(i32 w, i32 h, u32 fill = 0xFF000000) : pixels((size_t)(w * h), fill) {
        canvas = Canvas{w, h, pixels.data(), w * h * 4};
    }
    u32 at(i32 x, i32 y) const { return pixels[(size_t)(y * canvas.width + x)]; }
    bool inked(i32 x, i32 y) const { return (at(x, y) & 0xFF) != 0; }
};

static void draw(Image &image, FontFace *face, f32 x, f32 y, const std::string &text) {
    text_style.face = face;
    text_draw(&image.canvas, x, y, StrSlice{(i64)text.size(), (char *)text.data()});
}

struct Box {
    i32 x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    bool empty() const { return x1 < 0; }
};

static Box ink_box(const Image &image, i32 from_y = 0, i32 to_y = -1) {
    Box box;
    if (to_y < 0) to_y = image.canvas.height;
    for (i32 y = from_y; y < to_y; y++)
        for (i32 x = 0; x < image.canvas.width; x++)
            if (image.inked(x, y)) {
                if (x < box.x0) box.x0 = x;
                if (y < box.y0) box.y0 = y;
                if (x > box.x1) box.x1 = x;
                if (y > box.y1) box.y1 = y;
            }
    return box;
}

TEST(Utf8, DecodesByLeadByteAndNeverReadsPastTheEnd) {
    struct Case {
        std::string bytes;
        u32 codepoint;
        i32 length;
    };
    const Case cases[] = {
        {std::string("\0", 1), 0, 1},
        {"A", 'A', 1},
        {"\x7F", 0x7F, 1},
        {"\x80", 0xFFFD, 1},
        {"\xBF\x80", 0xFFFD, 1},
        {"\xC3\xA9", 0xE9, 2},
        {"\xE2\x80\xB0", 0x2030, 3},
        {"\xF0\x9F\x98\x80", 0x1F600, 4},
        {"\xF8\x80\x80\x80", 0xFFFD, 1},
        {"\xFF", 0xFFFD, 1},
        // Continuation bytes are taken as they come, top bits unchecked.
        {"\xC3\x29", (0x03u << 6) | 0x29, 2},
        // Cut off by the end: one U+FFFD over what is left.
        {"\xC3", 0xFFFD, 1},
        {"\xE2\x80", 0xFFFD, 2},
        {"\xF0\x9F\x98", 0xFFFD, 3},
    };
    for (const Case &c : cases) {
        // An exact-size heap copy, so a read past the end is a real overread.
        std::vector<u8> exact(c.bytes.begin(), c.bytes.end());
        i32 length = -1;
        EXPECT_EQ(utf8_decode(exact.data(), (i64)exact.size(), &length), c.codepoint);
        EXPECT_EQ(length, c.length);
    }
    // The limit is the text's end, not the bytes that happen to follow.
    const u8 longer[] = {0xE2, 0x80, 0xB0};
    i32 length = 0;
    EXPECT_EQ(utf8_decode(longer, 2, &length), 0xFFFDu);
    EXPECT_EQ(length, 2);
}

TEST(GlyphCache, KeepsCodePointsAboveLatin1InOrder) {
    FontFace *face = dejavu();
    ASSERT_NE(face, nullptr) << dejavu_path;
    ASSERT_EQ(face->glyph_count, 256);
    EXPECT_EQ(face->glyph_capacity, 512);
    for (u32 c = 0; c < 256; c++) ASSERT_EQ(face->glyphs[c].codepoint, c);
    EXPECT_EQ(face->glyphs[(u32)'A'].glyph, stbtt_FindGlyphIndex(&face->info, 'A'));

    Image image(100, 30);
    draw(image, face, 2, 2, "\xE2\x80\xB0"); // U+2030
    draw(image, face, 2, 2, "\xE2\x82\xAC"); // U+20AC
    ASSERT_EQ(face->glyph_count, 258);
    EXPECT_EQ(face->glyphs[256].codepoint, 0x2030u);
    EXPECT_EQ(face->glyphs[257].codepoint, 0x20ACu);
    draw(image, face, 2, 2, "\xE2\x82\xAC");
    EXPECT_EQ(face->glyph_count, 258);
    // A smaller one goes in front and moves the others up.
    GlyphEntry *cyrillic = glyph_lookup(face, 0x416);
    ASSERT_NE(cyrillic, nullptr);
    EXPECT_EQ(cyrillic, &face->glyphs[256]);
    EXPECT_EQ(face->glyphs[257].codepoint, 0x2030u);
    EXPECT_EQ(face->glyphs[258].codepoint, 0x20ACu);
    EXPECT_NE(cyrillic->glyph, 0);
    EXPECT_EQ(glyph_lookup(face, 0x2030), &face->glyphs[257]);
    EXPECT_EQ(face->glyph_count, 259);
}

TEST(GlyphCache, GrowsPastItsFirstRoomAndStaysSorted) {
    FontFace *face = inter();
    ASSERT_NE(face, nullptr) << inter_path;
    // 300 new code points in a scrambled order: 556 entries need a second step.
    for (u32 i = 0; i < 300; i++) {
        u32 codepoint = 0x10000 + (i * 7919u) % 300u;
        GlyphEntry *entry = glyph_lookup(face, codepoint);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->codepoint, codepoint);
    }
    EXPECT_EQ(face->glyph_count, 556);
    EXPECT_EQ(face->glyph_capacity, 1024);
    for (i32 i = 257; i < face->glyph_count; i++)
        ASSERT_LT(face->glyphs[i - 1].codepoint, face->glyphs[i].codepoint) << i;
    EXPECT_EQ(glyph_lookup(face, 0x10000 + 150), &face->glyphs[256 + 150]);
    EXPECT_EQ(face->glyph_count, 556);
}

TEST(TextDraw, LineFeedStartsOneLineStepLowerAtTheStartingX) {
    FontFace *face = dejavu();
    ASSERT_NE(face, nullptr);
    f32 scale = 16.0f / (f32)(face->ascent - face->descent);
    f32 step = face->ascent * scale;

    Image one(80, 60), two(80, 60), lower(80, 60);
    draw(one, face, 10.25f, 3.0f, "H");
    draw(two, face, 10.25f, 3.0f, "HH\nH");
    draw(lower, face, 10.25f, 3.0f + step, "H");
    Box first = ink_box(one), second = ink_box(lower);
    ASSERT_FALSE(first.empty());
    ASSERT_GT(second.y0, first.y1); // the step clears a whole capital
    EXPECT_EQ(second.x0, first.x0);
    EXPECT_EQ(second.x1, first.x1);
    // The second line of "HH\nH" is the lone H one step lower.
    for (i32 y = second.y0; y <= second.y1; y++)
        for (i32 x = 0; x < 80; x++) {
            i32 got = (i32)(two.at(x, y) & 0xFF), want = (i32)(lower.at(x, y) & 0xFF);
            ASSERT_NEAR(got, want, 2) << x << "," << y;
        }
}

TEST(TextDraw, PenKeepsItsFractionAndKerns) {
    FontFace *face = dejavu();
    ASSERT_NE(face, nullptr);
    // A quarter-pixel start changes the coverage, not just the position.
    Image whole(40, 30), quarter(40, 30);
    draw(whole, face, 10.0f, 2.0f, "l");
    draw(quarter, face, 10.25f, 2.0f, "l");
    EXPECT_NE(whole.pixels, quarter.pixels);

    // "AV" kerns: its V starts left of a V placed by the advance alone.
    GlyphEntry *a = glyph_lookup(face, 'A');
    GlyphEntry *v = glyph_lookup(face, 'V');
    i32 kern = stbtt_GetGlyphKernAdvance(&face->info, a->glyph, v->glyph);
    ASSERT_LT(kern, 0) << "DejaVu Sans kerns A and V";
    f32 scale = 16.0f / (f32)(face->ascent - face->descent);
    Image pair(60, 30), alone(60, 30), kerned(60, 30);
    draw(pair, face, 5.0f, 2.0f, "AV");
    draw(alone, face, 5.0f, 2.0f, "A");
    draw(alone, face, 5.0f + a->advance * scale, 2.0f, "V");
    draw(kerned, face, 5.0f, 2.0f, "A");
    draw(kerned, face, 5.0f + a->advance * scale + kern * scale, 2.0f, "V");
    EXPECT_NE(pair.pixels, alone.pixels);
    EXPECT_EQ(pair.pixels, kerned.pixels);
}

TEST(TextDraw, CffOutlinesDraw) {
    FontFace *face = inter();
    ASSERT_NE(face, nullptr) << inter_path;
    Image image(200, 30);
    draw(image, face, 8.0f, 12.0f - 11.0f, "x 770, y 430, w 380, h 220");
    Box box = ink_box(image);
    ASSERT_FALSE(box.empty());
    EXPECT_LE(box.x0, 10);
    EXPECT_GT(box.x1, 150);
    EXPECT_LT(box.y1 - box.y0, 16);
}

TEST(TextDraw, StrayBytesDrawTheReplacementGlyph) {
    FontFace *face = dejavu();
    ASSERT_NE(face, nullptr);
    Image stray(60, 30), replacement(60, 30), high(60, 30);
    draw(stray, face, 3.0f, 2.0f, "\x80" "A");
    draw(high, face, 3.0f, 2.0f, "\xF9" "A");
    draw(replacement, face, 3.0f, 2.0f, "\xEF\xBF\xBD" "A");
    EXPECT_FALSE(ink_box(replacement).empty());
    EXPECT_EQ(stray.pixels, replacement.pixels);
    EXPECT_EQ(high.pixels, replacement.pixels);
}

TEST(TextDraw, GlyphsAreClippedAtAllFourEdges) {
    FontFace *face = dejavu();
    ASSERT_NE(face, nullptr);
    // The same text on a large canvas and, shifted, on a small one inside a
    // guarded block: the small one must show exactly the overlapping part.
    Image big(60, 60);
    draw(big, face, 20.0f, 20.0f, "WM\nMW");
    Box ink = ink_box(big);
    ASSERT_FALSE(ink.empty());
    for (auto shift : {std::pair<i32, i32>{-6, -5}, {-22, -24}, {-12, 0}, {0, -12}}) {
        std::vector<u32> block(16 * 16 + 64, 0x5A5A5A5A);
        for (i32 i = 0; i < 256; i++) block[(size_t)(32 + i)] = 0xFF000000;
        Canvas small = {16, 16, block.data() + 32, 16 * 16 * 4};
        text_style.face = face;
        std::string text = "WM\nMW";
        text_draw(&small, 20.0f + (f32)shift.first, 20.0f + (f32)shift.second,
                  StrSlice{(i64)text.size(), text.data()});
        for (i32 i = 0; i < 32; i++) {
            ASSERT_EQ(block[(size_t)i], 0x5A5A5A5Au);
            ASSERT_EQ(block[(size_t)(32 + 256 + i)], 0x5A5A5A5Au);
        }
        for (i32 y = 0; y < 16; y++)
            for (i32 x = 0; x < 16; x++)
                ASSERT_EQ(small.pixels[y * 16 + x], big.at(x - shift.first, y - shift.second))
                    << shift.first << "," << shift.second << " at " << x << "," << y;
    }
}

TEST(TextDraw, NothingWithoutFaceOrText) {
    Image image(20, 20);
    text_style.face = nullptr;
    std::string text = "A";
    text_draw(&image.canvas, 2, 2, StrSlice{1, text.data()});
    draw(image, dejavu(), 2, 2, "");
    for (u32 p : image.pixels) ASSERT_EQ(p, 0xFF000000u);
}

TEST(Blend, FourRules) {
    const u32 white = 0xFFFFFFFF;
    // Full coverage, or a fully transparent pixel: the colour at alpha c.
    EXPECT_EQ(text_blend(0xFF102030, white, 255), 0xFFFFFFFFu);
    EXPECT_EQ(text_blend(0x00102030, 0xFFAABBCC, 100), 0x64AABBCCu);
    EXPECT_EQ(text_blend(0x00102030, 0xFFAABBCC, 0), 0x00AABBCCu);
    // No coverage on a visible pixel: unchanged.
    EXPECT_EQ(text_blend(0x80102030, white, 0), 0x80102030u);
    // Opaque: a plain mix, alpha kept. 0x40 * (1 - 0.2) + 255 * 0.2 = 102.2
    EXPECT_EQ(text_blend(0xFF404040, white, 51), 0xFF666666u);
    // Partly transparent: oa = 128/255 * 0.8 + 0.2 = 0.6016, t2 = 0.3325;
    // 0x40 and 255 mix to 127.5 -> 127, alpha 153.4 -> 153.
    EXPECT_EQ(text_blend(0x80404040, white, 51), 0x997F7F7Fu);
}

TEST(Blend, TextOnTransparentPixelsTakesTheCoverageAsAlpha) {
    FontFace *face = dejavu();
    ASSERT_NE(face, nullptr);
    Image image(30, 30, 0x00000000);
    draw(image, face, 5.0f, 5.0f, "o");
    bool partial = false, boxed_blank = false;
    for (u32 p : image.pixels) {
        if (p == 0) continue;
        EXPECT_EQ(p & 0x00FFFFFF, 0x00FFFFFFu); // the colour, whatever the coverage
        u32 a = p >> 24;
        if (a > 0 && a < 255) partial = true;
        if (a == 0) boxed_blank = true; // inside the glyph box, no coverage
    }
    EXPECT_TRUE(partial);
    EXPECT_TRUE(boxed_blank);
}

// A font is data from anywhere: offsets that point out of the file, a
// composite glyph made of itself, a CFF that claims more than it holds, or a
// cut-off file are refused at load, before stb_truetype follows them.
static u32 be32_at(const std::string &f, size_t at) {
    return (u32)(u8)f[at] << 24 | (u32)(u8)f[at + 1] << 16 | (u32)(u8)f[at + 2] << 8 | (u8)f[at + 3];
}
static void put16(std::string &f, size_t at, u32 v) {
    f[at] = (char)(v >> 8);
    f[at + 1] = (char)v;
}
static void put32(std::string &f, size_t at, u32 v) {
    put16(f, at, v >> 16);
    put16(f, at + 2, v & 0xFFFF);
}
static size_t table_at(const std::string &f, const char *tag, size_t *size = nullptr) {
    u32 count = (u32)(u8)f[4] << 8 | (u8)f[5];
    for (u32 i = 0; i < count; i++)
        if (f.compare(12 + i * 16, 4, tag) == 0) {
            if (size) *size = be32_at(f, 12 + i * 16 + 12);
            return be32_at(f, 12 + i * 16 + 8);
        }
    return 0;
}
static bool loads(const std::string &f) {
    FontFace *face = font_load(StrSlice{(i64)f.size(), (char *)f.data()});
    font_unload(face);
    return face != nullptr;
}

TEST(FontLoad, RefusesFontsThatPointOutside) {
    const std::string ttf = read_file(dejavu_path), otf = read_file(inter_path);
    ASSERT_TRUE(loads(ttf));
    ASSERT_TRUE(loads(otf));
    TextStyle saved = text_style;

    size_t loca = table_at(ttf, "loca"), glyf = table_at(ttf, "glyf");
    bool long_offsets = (u8)ttf[table_at(ttf, "head") + 51] == 1;
    ASSERT_TRUE(long_offsets && loca && glyf);
    const u32 glyph = 36; // "A"
    std::string far = ttf;
    put32(far, loca + glyph * 4, 0x7FFFFF00);
    EXPECT_FALSE(loads(far));

    std::string self = ttf;
    size_t at = glyf + be32_at(ttf, loca + glyph * 4);
    put16(self, at, 0xFFFF); // composite
    put16(self, at + 10, 0);  // one component, no more
    put16(self, at + 12, glyph);
    EXPECT_FALSE(loads(self));

    std::string cff = otf;
    size_t table = table_at(otf, "CFF ");
    ASSERT_NE(table, 0u);
    cff[table + 2] = (char)0xF0; // the header claims 240 bytes and the INDEXes start elsewhere
    put16(cff, table + 0xF0, 0xFFFF);
    cff[table + 0xF2] = 4;
    EXPECT_FALSE(loads(cff));

    // A 32-bit cmap naming glyphs far past the font's: they load as the missing glyph.
    std::string far_glyphs = ttf;
    size_t cmap_size = 0, cmap = table_at(ttf, "cmap", &cmap_size), sub = cmap + be32_at(ttf, cmap + 8);
    for (u32 i = 0; i < (be32_at(ttf, cmap) & 0xFFFF); i++) put32(far_glyphs, cmap + 8 + i * 8, (u32)(sub - cmap));
    const u32 format12[] = {0x000C0000, 28, 0, 1, 0, 0x10FFFF, 0x40000000};
    for (u32 i = 0; i < 7; i++) put32(far_glyphs, sub + i * 4, format12[i]);
    EXPECT_TRUE(loads(far_glyphs));

    // The same subtable claiming one 12-byte group more than the table holds.
    std::string short_groups = far_glyphs;
    put32(short_groups, sub + 12, (u32)(cmap + cmap_size - sub - 16) / 12 + 1);
    EXPECT_FALSE(loads(short_groups));

    // An outline read past its own bytes: "A" made one off-curve point, whose
    // contour start stb_truetype looks for in the point after it; its
    // instructions run past the glyph; or its composite parts, which have no
    // offsets, read as if they had, hiding that the second part is "A" itself.
    const u8 lone_point[] = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const u8 long_code[] = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    const u8 parts_without_offsets[] = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20, 0, 37, 0, 0, 0, glyph};
    for (const auto &outline : {std::string((char *)lone_point, sizeof lone_point),
                                std::string((char *)long_code, sizeof long_code),
                                std::string((char *)parts_without_offsets, sizeof parts_without_offsets)}) {
        std::string bad = ttf;
        bad.replace(glyf + be32_at(ttf, loca + glyph * 4), outline.size(), outline);
        EXPECT_FALSE(loads(bad)) << outline.size();
    }

    // Kerning pairs past the kern table, and class pair records (65535 x
    // 65535) past GPOS, which took the program down at its first text.
    std::string pairs = ttf;
    put16(pairs, table_at(ttf, "kern") + 10, 0xFFFF);
    EXPECT_FALSE(loads(pairs));
    for (const std::string &font : {ttf, otf}) {
        std::string classes = font;
        size_t gpos = table_at(font, "GPOS");
        const u16 pair_classes[] = {1, 0, 0, 0, 10, 1, 4, 2, 0, 1, 8, 2, 16, 4, 0, 26, 36, 0xFFFF, 0xFFFF,
                                    2, 1, 0, 0xFFFF, 0, 2, 1, 0, 0xFFFF, 16000, 2, 1, 0, 0xFFFF, 0};
        for (size_t i = 0; i < sizeof pair_classes / 2; i++) put16(classes, gpos + 2 * i, pair_classes[i]);
        EXPECT_FALSE(loads(classes));
    }

    for (size_t keep : {ttf.size() / 2, (size_t)100, (size_t)13})
        EXPECT_FALSE(loads(ttf.substr(0, keep))) << keep;
    EXPECT_FALSE(loads(otf.substr(0, otf.size() - 1000)));
    text_style = saved;
}
