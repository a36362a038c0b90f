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

const u16 fps_choices[FPS_CHOICE_COUNT] = {1, 2, 3, 4, 5, 8, 10, 15, 20, 24, 25, 30, 40, 50, 60, 90, 120, 144, 240};

u8 fps_nearest_choice(i32 fps) {
    u16 best = fps_choices[0];
    for (u16 choice : fps_choices) {
        i32 distance = choice > fps ? choice - fps : fps - choice;
        i32 best_distance = best > fps ? best - fps : fps - best;
        if (distance < best_distance) best = choice;
    }
    return (u8)best;
}

static i32 clamp_i32(i32 value, i32 low, i32 high) { return value < low ? low : value > high ? high : value; }

//~ The record's fields

enum StateFieldKind : u8 { FIELD_BYTE, FIELD_FLAG, FIELD_NUMBER, FIELD_FPS };

struct StateField {
    u8 offset;
    StateFieldKind kind; // a byte, a flag byte (non-zero is true) or a 32-bit number
    // The file must hold this many bytes for the field to be read: the two
    // numbers of a point are read together or not at all.
    u8 read_from;
    void *value;       // the app's field
    i32 lowest, highest; // a number's range on load
};

// The file may come from another machine, an older run or a corrupt disk:
// every value the rest of the program does arithmetic on is brought into a
// range where that arithmetic cannot overflow. Coordinates beyond the limit
// lie on no monitor anyway.
static const i32 reach = STATE_COORDINATE_LIMIT;
static const StateField state_fields[] = {
    {0, FIELD_BYTE, 1, &app.state_byte, 0, 0},
    {1, FIELD_NUMBER, 9, &app.region_x0, -reach, reach},
    {5, FIELD_NUMBER, 9, &app.region_y0, -reach, reach},
    {9, FIELD_NUMBER, 17, &app.region_x1, -reach, reach},
    {13, FIELD_NUMBER, 17, &app.region_y1, -reach, reach},
    {17, FIELD_BYTE, 18, &app.frame_style, 0, 0},
    {18, FIELD_NUMBER, 22, &app.delay_ms, 0, DELAY_MAX_MS},
    {22, FIELD_FLAG, 23, &app.region_locked, 0, 0},
    {23, FIELD_FLAG, 24, &app.draw_mouse, 0, 0},
    {24, FIELD_FLAG, 25, &app.record_audio, 0, 0},
    {25, FIELD_FPS, 26, &app.fps, 0, 0},
    {26, FIELD_NUMBER, 34, &app.panel_x, -reach, reach},
    {30, FIELD_NUMBER, 34, &app.panel_y, -reach, reach},
    {34, FIELD_NUMBER, 38, &app.memory_counter, 0, INT32_MAX},
};

void state_load(StrSlice content) {
    app.state_read = true;
    const u8 *b = (const u8 *)content.data;
    i64 n = b ? content.length : 0;
    for (const StateField &field : state_fields) {
        if (n >= field.read_from) {
            if (field.kind == FIELD_NUMBER) *(i32 *)field.value = read_i32(b + field.offset);
            else if (field.kind == FIELD_FLAG) *(bool *)field.value = b[field.offset] != 0;
            else *(u8 *)field.value = b[field.offset];
        }
        // Defaults are in range too, so every value is checked, read or not.
        if (field.kind == FIELD_NUMBER)
            *(i32 *)field.value = clamp_i32(*(i32 *)field.value, field.lowest, field.highest);
        else if (field.kind == FIELD_FPS)
            *(u8 *)field.value = fps_nearest_choice(*(u8 *)field.value);
    }
}

void state_encode(u8 (&out)[STATE_FILE_SIZE]) {
    for (const StateField &field : state_fields) {
        if (field.kind == FIELD_NUMBER) write_i32(out + field.offset, *(const i32 *)field.value);
        else if (field.kind == FIELD_FLAG) out[field.offset] = *(const bool *)field.value ? 1 : 0;
        else out[field.offset] = *(const u8 *)field.value;
    }
}
