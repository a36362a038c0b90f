// libFuzzer target: any font.otf loads or is refused, and a loaded one draws
// every kind of character without reading past its data or writing off the
// canvas. Seeded by scripts/fuzz-smoke with Inter (CFF) and DejaVu (glyf).
#include <stdlib.h>
#include <string.h>

#include "text/text.h"

enum { W = 64, H = 32, GUARD = 16 };

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
    char *copy = (char *)malloc(size ? size : 1);
    if (size) memcpy(copy, data, size);
    FontFace *face = font_load(StrSlice{(i64)size, copy});
    free(copy); // the face keeps its own copy
    if (!face) return 0;

    static u32 block[W * H + 2 * GUARD];
    for (u32 &p : block) p = 0x5A5A5A5A;
    Canvas canvas = {W, H, block + GUARD, W * H * 4};
    for (int i = 0; i < W * H; i++) canvas.pixels[i] = 0xFF000000;
    text_style.pixel_height = 16.0f;
    text_style.line_height = 1.0f;
    // ASCII, Latin-1, a cached-above-255 letter, CJK, an emoji (format 12) and a private-use point.
    static const char sample[] = "Vornby 0123 AVATAR fi \xC3\xA9\xC3\x9F \xE2\x82\xAC \xE4\xB8\xAD \xF0\x9F\x98\x80 \xEE\x80\x80";
    text_draw(&canvas, 1.5f, 2.25f, StrSlice{(i64)sizeof sample - 1, (char *)sample});
    for (int i = 0; i < GUARD; i++)
        if (block[i] != 0x5A5A5A5A || block[GUARD + W * H + i] != 0x5A5A5A5A) abort();
    font_unload(face);
    return 0;
}
