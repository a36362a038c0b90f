#include "canvas.h"

#include <string.h>

IconSheet icon_sheet;

u32 status_colour(bool idle, bool recording) {
    u32 red = recording ? 0 : 0xFF;
    u32 green = idle ? 0 : 0xFF;
    return 0xFF000000u | red << 16 | green << 8;
}

static bool canvas_usable(const Canvas *canvas) {
    return canvas->pixels && canvas->width > 0 && canvas->height > 0;
}

// Row y from x0 to x1 inclusive, clipped.
static void span_row(Canvas *canvas, i64 y, i64 x0, i64 x1, u32 colour) {
    if (y < 0 || y >= canvas->height) return;
    if (x0 < 0) x0 = 0;
    if (x1 >= canvas->width) x1 = canvas->width - 1;
    u32 *row = canvas->pixels + y * canvas->width;
    for (i64 x = x0; x <= x1; x++) row[x] = colour;
}

// Column x from y0 to y1 inclusive, clipped.
static void span_column(Canvas *canvas, i64 x, i64 y0, i64 y1, u32 colour) {
    if (x < 0 || x >= canvas->width) return;
    if (y0 < 0) y0 = 0;
    if (y1 >= canvas->height) y1 = canvas->height - 1;
    for (i64 y = y0; y <= y1; y++) canvas->pixels[y * canvas->width + x] = colour;
}

void canvas_fill(Canvas *canvas, u32 colour) {
    if (!canvas_usable(canvas)) return;
    u32 *pixel = canvas->pixels;
    u32 *end = pixel + (i64)canvas->width * canvas->height;
    while (pixel < end) *pixel++ = colour;
}

void canvas_status_outline(Canvas *canvas, i32 width, u32 colour) {
    if (!canvas_usable(canvas) || width < 1) return;
    i64 right = (i64)width - 1;
    span_row(canvas, 0, 0, right, colour);
    span_row(canvas, 1, 0, right, colour);
    span_row(canvas, 39, 0, right, colour);
    span_row(canvas, 40, 0, right, colour);
    span_column(canvas, 0, 2, 38, colour);
    span_column(canvas, 1, 2, 38, colour);
    span_column(canvas, right - 1, 2, 38, colour);
    span_column(canvas, right, 2, 38, colour);
}

void canvas_status_separator(Canvas *canvas, i32 x, u32 colour) {
    // A negative column is skipped too: it would land in the row above.
    if (!canvas_usable(canvas)) return;
    span_column(canvas, x, 0, 40, colour);
}

// One axis of the copy: the first source index, the destination start and
// the count left after cutting at the sheet edge and then at the canvas edge.
static void clip_axis(i64 src, i64 size, i64 sheet_size, i64 dst, i64 canvas_size,
                      i64 *first, i64 *to, i64 *count) {
    *first = src > 0 ? src : 0;
    if (src + size > sheet_size) *count = sheet_size - *first;
    else if (src < 0) *count = size + src;
    else *count = size;
    if (dst < 0) {
        *count += dst;
        *first -= dst;
        dst = 0;
    }
    if (dst + *count > canvas_size) *count = canvas_size - dst;
    *to = dst;
}

void canvas_blit_icon(Canvas *canvas, i32 src_x, i32 src_y, i32 src_w, i32 src_h,
                      i32 dst_x, i32 dst_y) {
    if (!canvas_usable(canvas) || !icon_sheet.pixels) return;
    i64 first_x, first_y, to_x, to_y, w, h;
    clip_axis(src_x, src_w, icon_sheet.width, dst_x, canvas->width, &first_x, &to_x, &w);
    clip_axis(src_y, src_h, icon_sheet.height, dst_y, canvas->height, &first_y, &to_y, &h);
    if (w <= 0 || h <= 0) return;
    for (i64 r = 0; r < h; r++) {
        const u32 *from = icon_sheet.pixels + (first_y + r) * icon_sheet.width + first_x;
        u32 *into = canvas->pixels + (to_y + r) * canvas->width + to_x;
        memcpy(into, from, (size_t)w * sizeof(u32));
    }
}

void canvas_blit_cell25(Canvas *canvas, i32 src_x, i32 src_y, i32 dst_x) {
    canvas_blit_icon(canvas, src_x, src_y, 25, 25, dst_x, 8);
}

void canvas_frame_box(Canvas *canvas, i32 w, i32 h) {
    if (!canvas_usable(canvas)) return;
    canvas_fill(canvas, COLOUR_BLACK);
    if (w < 1 || h < 1) return;
    span_row(canvas, 0, 0, (i64)w - 1, COLOUR_WHITE);
    span_row(canvas, (i64)h - 1, 0, (i64)w - 1, COLOUR_WHITE);
    span_column(canvas, 0, 0, (i64)h - 1, COLOUR_WHITE);
    span_column(canvas, (i64)w - 1, 0, (i64)h - 1, COLOUR_WHITE);
}
