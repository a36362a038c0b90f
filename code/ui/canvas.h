// Drawing primitives over a window's Canvas: fills, the status outline and
// separators, opaque icon copies from the icon sheet, the grab box.
#pragma once

#include "../os/os.h"

enum : u32 {
    COLOUR_BLACK = 0xFF000000,
    COLOUR_WHITE = 0xFFFFFFFF,
    COLOUR_IDLE = 0xFFFF0000,
    COLOUR_COUNTDOWN = 0xFFFFFF00,
    COLOUR_RECORDING = 0xFF00FF00,
};

// The decoded icon sheet, 0xAARRGGBB pixels, row-major; read-only after start-up.
struct IconSheet {
    i32 width;
    i32 height;
    u32 *pixels;
};

extern IconSheet icon_sheet;

// Red unless recording, green unless idle: idle red, countdown yellow,
// recording green.
u32 status_colour(bool idle, bool recording);

void canvas_fill(Canvas *canvas, u32 colour);
// Two-pixel outline of (0, 0)-(width - 1, 40), clipped to the canvas.
void canvas_status_outline(Canvas *canvas, i32 width, u32 colour);
// Column x over rows 0..40, clipped to the canvas.
void canvas_status_separator(Canvas *canvas, i32 x, u32 colour);
// Opaque copy of a sheet rectangle, cut at the sheet's and the canvas's edges.
void canvas_blit_icon(Canvas *canvas, i32 src_x, i32 src_y, i32 src_w, i32 src_h,
                      i32 dst_x, i32 dst_y);
// A 25 x 25 cell to (dst_x, 8), the row of the panel's square buttons.
void canvas_blit_cell25(Canvas *canvas, i32 src_x, i32 src_y, i32 dst_x);
// Black, with a white 1-pixel outline of (0, 0)-(w - 1, h - 1), clipped.
void canvas_frame_box(Canvas *canvas, i32 w, i32 h);
