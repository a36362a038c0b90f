#include "icon_sheet.h"

#include <stdlib.h>
#include <string.h>

#include "canvas.h"

// A failed decoder assertion says where, then parks the thread instead of
// ending the process.
#define STBI_ASSERT(x)                                                                 \
    do {                                                                               \
        if (!(x)) {                                                                    \
            os_print("* STBI_ASSERT * [%s:%i] - (%s)\n", __func__, __LINE__, #x);      \
            os_sleep_ms(43200000);                                                     \
        }                                                                              \
    } while (0)
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
// A few hundred bytes of PNG can claim any size; the decoder refuses a side
// past this before allocating, and the sheet's area is checked below.
#define STBI_MAX_DIMENSIONS 8192
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// stb_image grows its buffer to a data chunk's claimed length before it
// reads the chunk, so a few bytes claiming a gigabyte cost a gigabyte; and it
// copies an empty first IDAT chunk into a buffer it has not yet allocated
// (no bytes, but to a null pointer). Such files are refused before decoding:
// every chunk up to IEND must lie in the file, the first IDAT not empty.
static bool chunks_fit(StrSlice png) {
    const u8 *bytes = (const u8 *)png.data;
    bool seen_data = false;
    for (i64 at = 8; at + 8 <= png.length;) {
        u32 length = (u32)bytes[at] << 24 | (u32)bytes[at + 1] << 16 | (u32)bytes[at + 2] << 8 | bytes[at + 3];
        const u8 *type = bytes + at + 4;
        if (memcmp(type, "IEND", 4) == 0) return true;
        if (memcmp(type, "IDAT", 4) == 0) {
            if (!seen_data && length == 0) return false;
            seen_data = true;
        }
        at += 12 + (i64)length;
        if (at > png.length) return false;
    }
    return true; // cut short: stb_image refuses it without a large buffer
}

bool icon_sheet_decode(StrSlice png) {
    if (!png.data || png.length < 9 || png.length > 0x7FFFFFFF || !chunks_fit(png)) return false;
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory((const u8 *)png.data, (int)png.length, &width, &height, &channels) ||
        (i64)width * height > ICON_SHEET_PIXELS_MAX)
        return false;
    u8 *decoded = stbi_load_from_memory((const u8 *)png.data, (int)png.length, &width, &height,
                                        &channels, 4);
    if (!decoded) return false;
    // At most ICON_SHEET_PIXELS_MAX pixels, so the size fits.
    u32 *pixels = (u32 *)os_alloc((u32)width * (u32)height * 4u);
    if (!pixels) {
        stbi_image_free(decoded);
        return false;
    }
    // RGBA bytes to 0xAARRGGBB words: swap red and blue.
    for (i64 i = 0; i < (i64)width * height; i++) {
        const u8 *p = decoded + i * 4;
        pixels[i] = (u32)p[3] << 24 | (u32)p[0] << 16 | (u32)p[1] << 8 | p[2];
    }
    stbi_image_free(decoded);
    icon_sheet.width = width;
    icon_sheet.height = height;
    icon_sheet.pixels = pixels;
    return true;
}
