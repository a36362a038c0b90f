#include "panel.h"

#include "../recorder/main_loop.h"
#include "../text/text.h"
#include "canvas.h"

// Bright cells sit right of the dim ones in the icon sheet.
static i32 cell_column(bool lit, i32 cell_size) { return lit ? cell_size : 0; }

static void draw_small(Canvas *canvas, i32 sheet_y, i32 x, bool lit) {
    canvas_blit_icon(canvas, cell_column(lit, 19), sheet_y, 19, 19, x, 11);
}

static StrSlice slice(const char *text, i32 length, i32 capacity) {
    return StrSlice{length < capacity ? length : capacity - 1, (char *)text};
}

void panel_draw(void) {
    OsWindow *window = app.control_window;
    if (!window || !(window->flags & OS_WINDOW_OPEN)) return;
    Canvas *canvas = &window->pixels;
    canvas_fill(canvas, COLOUR_BLACK);

    char region_text[65], fps_text[17], delay_text[17];
    i32 region_length = os_format(region_text, sizeof region_text, "x %i, y %i, w %i, h %i",
                                  app.region_x, app.region_y, app.region_w, app.region_h);
    i32 fps_length = os_format(fps_text, sizeof fps_text, "FPS %i", app.fps);
    i32 delay_length = os_format(delay_text, sizeof delay_text, "Delay %i", app.delay_ms / 1000);

    bool recording = FrameFunction == recording_frame;
    bool counting = FrameFunction == countdown_frame;
    u32 colour = status_colour(!recording && !counting, recording);
    ElementId hover = app.hover_element;

    canvas_status_outline(canvas, canvas->width, colour);
    i32 record_row = recording ? 66 : counting ? 33 : 0;
    canvas_blit_icon(canvas, cell_column(hover == ELEMENT_RECORD, 33), record_row, 33, 33, 4, 4);
    canvas_status_separator(canvas, 39, colour);
    canvas_blit_cell25(canvas, cell_column(app.frame_style == 0, 25), 99, 46);
    canvas_blit_cell25(canvas, cell_column(app.frame_style == 1, 25), 124, 71);
    canvas_blit_cell25(canvas, cell_column(app.frame_style == 2, 25), 149, 96);
    canvas_blit_cell25(canvas, cell_column(app.region_locked, 25), 174, 121);
    canvas_status_separator(canvas, 152, colour);
    canvas_blit_cell25(canvas, cell_column(app.draw_mouse, 25), 224, 159);
    canvas_blit_cell25(canvas, cell_column(app.record_audio, 25), 199, 185);
    canvas_status_separator(canvas, 216, colour);
    text_draw(canvas, 227.0f, 12.0f, slice(fps_text, fps_length, sizeof fps_text));
    draw_small(canvas, 349, 288, hover == ELEMENT_FPS_DOWN);
    draw_small(canvas, 368, 308, hover == ELEMENT_FPS_UP);
    canvas_status_separator(canvas, 333, colour);
    text_draw(canvas, 344.0f, 12.0f, slice(delay_text, delay_length, sizeof delay_text));
    draw_small(canvas, 349, 412, hover == ELEMENT_DELAY_DOWN);
    draw_small(canvas, 368, 432, hover == ELEMENT_DELAY_UP);
    canvas_status_separator(canvas, 457, colour);
    canvas_blit_cell25(canvas, cell_column(hover == ELEMENT_OPEN_OUTPUT, 25), 249, 464);
    canvas_status_separator(canvas, 495, colour);
    canvas_blit_cell25(canvas, cell_column(hover == ELEMENT_MOVE_REGION, 25), 274, 502);
    canvas_blit_cell25(canvas, cell_column(hover == ELEMENT_MINIMISE, 25), 299, 528);
    canvas_blit_cell25(canvas, cell_column(hover == ELEMENT_CLOSE, 25), 324, 554);
    text_draw(canvas, 8.0f, 42.0f, slice(region_text, region_length, sizeof region_text));
    os_present_window(window);
}

void panel_position(i32 x, i32 y, i32 w, i32 h, i32 screen_width, i32 screen_height,
                    i32 *panel_x, i32 *panel_y) {
    if (y + h < screen_height - 71) {
        *panel_x = x + 10;
        *panel_y = y + h + 11;
    } else if (y > 71) {
        *panel_x = x + 10;
        *panel_y = y - 72;
    } else if (x + w < screen_width - 597) {
        *panel_x = x + w + 11;
        *panel_y = y + 10;
    } else if (x <= 597) {
        *panel_x = x;
        *panel_y = y + h - 61;
    } else {
        *panel_x = x - 598;
        *panel_y = y + 10;
    }
}

void panel_place(void) {
    panel_position(app.region_x, app.region_y, app.region_w, app.region_h, app.screen_width,
                   app.screen_height, &app.panel_x, &app.panel_y);
    os_move_window(app.control_window, app.panel_x, app.panel_y, PANEL_WIDTH, PANEL_HEIGHT);
}
