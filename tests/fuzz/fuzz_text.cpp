// libFuzzer target: UTF-8 decoding and text drawing with both outline kinds
// at any pen position; nothing is read past the text or written off the canvas.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "text/text.h"

static FontFace *faces[2];

static FontFace *load(const char *path) {
    FILE *file = fopen(path, "rb");
    if (!file) abort();
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fseek(file, 0, SEEK_SET);
    char *data = (char *)malloc((size_t)size);
    if (fread(data, 1, (size_t)size, file) != (size_t)size) abort();
    fclose(file);
    FontFace *face = font_load(StrSlice{size, data});
    free(data); // the face keeps its own copy
    if (!face) abort();
    return face;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    faces[0] = load("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    faces[1] = load("/usr/share/fonts/opentype/inter/Inter-Regular.otf");
    return 0;
}

enum { W = 48, H = 24, GUARD = 16 };

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
    if (size < 5) return 0;
    text_style.face = faces[data[0] & 1];
    f32 x = (f32)(i16)(data[1] | data[2] << 8) / 16.0f;
    f32 y = (f32)(i16)(data[3] | data[4] << 8) / 16.0f;
    size_t length = size - 5;
    char *text = (char *)malloc(length ? length : 1);
    if (length) memcpy(text, data + 5, length);

    for (size_t i = 0; i < length;) {
        i32 n = 0;
        u32 codepoint = utf8_decode((const u8 *)text + i, (i64)(length - i), &n);
        if (n < 1 || (size_t)n > length - i || codepoint > 0x1FFFFF) abort();
        i += (size_t)n;
    }

    static u32 block[W * H + 2 * GUARD];
    for (u32 &p : block) p = 0x5A5A5A5A;
    Canvas canvas = {W, H, block + GUARD, W * H * 4};
    for (int i = 0; i < W * H; i++) canvas.pixels[i] = (data[0] & 2) ? 0 : 0xFF000000;
    text_draw(&canvas, x, y, StrSlice{(i64)length, text});
    for (int i = 0; i < GUARD; i++)
        if (block[i] != 0x5A5A5A5A || block[GUARD + W * H + i] != 0x5A5A5A5A) abort();
    free(text);
    return 0;
}
