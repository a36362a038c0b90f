#include "settings.h"

#include "app.h"

// The one app state, beside the record that carries it between runs.
AppState app;

static i32 read_i32(const u8 *at) {
    return (i32)((u32)at[0] | (u32)at[1] << 8 | (u32)at[2] << 16 | (u32)at[3] << 24);
}

static void write_i32(u8 *at, i32 value) {
    u32 v = (u32)value;
    at[0] = (u8)v;
    at[1] = (u8)(v >> 8);
    at[2] = (u8)(v >> 16);
    at[3] = (u8)(v >> 24);
}

void state_load(StrSlice content) {
    const u8 *b = (const u8 *)content.data;
    i64 n = b ? content.length : 0;
    if (n < 1) return;
    app.state_byte = b[0];
    if (n < 9) return;
    app.region_x0 = read_i32(b + 1);
    app.region_y0 = read_i32(b + 5);
    if (n < 17) return;
    app.region_x1 = read_i32(b + 9);
    app.region_y1 = read_i32(b + 13);
    if (n < 18) return;
    app.frame_style = b[17];
    if (n < 22) return;
    app.delay_ms = read_i32(b + 18);
    if (n < 23) return;
    app.region_locked = b[22] != 0;
    if (n < 24) return;
    app.draw_mouse = b[23] != 0;
    if (n < 25) return;
    app.record_audio = b[24] != 0;
    if (n < 26) return;
    app.fps = b[25];
    if (n < 34) return;
    app.panel_x = read_i32(b + 26);
    app.panel_y = read_i32(b + 30);
    if (n < 38) return;
    app.memory_counter = read_i32(b + 34);
}

void state_encode(u8 (&out)[STATE_FILE_SIZE]) {
    out[0] = app.state_byte;
    write_i32(out + 1, app.region_x0);
    write_i32(out + 5, app.region_y0);
    write_i32(out + 9, app.region_x1);
    write_i32(out + 13, app.region_y1);
    out[17] = app.frame_style;
    write_i32(out + 18, app.delay_ms);
    out[22] = app.region_locked ? 1 : 0;
    out[23] = app.draw_mouse ? 1 : 0;
    out[24] = app.record_audio ? 1 : 0;
    out[25] = app.fps;
    write_i32(out + 26, app.panel_x);
    write_i32(out + 30, app.panel_y);
    write_i32(out + 34, app.memory_counter);
}
