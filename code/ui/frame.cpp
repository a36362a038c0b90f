#include "frame.h"

#include "../recorder/main_loop.h"
#include "canvas.h"

void frame_edge_rects(OsRect rects[4]) {
    i32 t = (u16)app.frame_dash_thickness;
    i32 x = app.region_x, y = app.region_y, w = app.region_w, h = app.region_h;
    bool busy = FrameFunction == countdown_frame || FrameFunction == recording_frame;
    if (app.frame_style == 0) {
        for (i32 i = 0; i < 4; i++) rects[i] = OsRect{0, 0, 0, 0};
    } else if (app.frame_style == 1 || busy) {
        rects[0] = OsRect{x - t, y - t, w + 2 * t, t};
        rects[1] = OsRect{x - t, y + h, w + 2 * t, t};
        rects[2] = OsRect{x - t, y, t, h};
        rects[3] = OsRect{x + w, y, t, h};
    } else {
        rects[0] = OsRect{0, y - t, app.screen_width, t};
        rects[1] = OsRect{0, y + h, app.screen_width, t};
        rects[2] = OsRect{x - t, 0, t, app.screen_height};
        rects[3] = OsRect{x + w, 0, t, app.screen_height};
    }
}

static OsWindow *edge_window(i32 i) {
    OsWindow *edges[4] = {app.edge_top, app.edge_bottom, app.edge_left, app.edge_right};
    return edges[i];
}

void frame_place(void) {
    OsRect rects[4];
    frame_edge_rects(rects);
    for (i32 i = 0; i < 4; i++)
        os_move_window(edge_window(i), rects[i].x, rects[i].y, rects[i].width, rects[i].height);
}

void frame_draw(void) {
    u32 length = (u16)app.frame_dash_length;
    if (length == 0) length = 1;
    for (i32 i = 0; i < 4; i++) {
        OsWindow *window = edge_window(i);
        if (!window) continue;
        Canvas *canvas = &window->pixels;
        bool horizontal = i < 2;
        if (canvas->pixels) {
            for (i32 y = 0; y < canvas->height; y++) {
                u32 *row = canvas->pixels + (i64)y * canvas->width;
                for (i32 x = 0; x < canvas->width; x++) {
                    u32 along = (u32)(horizontal ? x : y);
                    row[x] = (along / length) % 2 == 0 ? COLOUR_WHITE : COLOUR_BLACK;
                }
            }
        }
        os_present_window(window);
    }
}

void frame_show(void) {
    frame_place();
    if (app.frame_style != 0) frame_draw();
}

OsRect grab_rect(u32 element) {
    i32 x = app.region_x, y = app.region_y, w = app.region_w, h = app.region_h;
    i32 co = app.frame_metric_large, zo = app.frame_metric_small;
    i32 ciw = app.corner_inner_w, cih = app.corner_inner_h;
    i32 eiw = app.edge_inner_w, eih = app.edge_inner_h;
    switch (element) {
    case ELEMENT_EDGE_TOP: return OsRect{x + ciw, y - zo, w - 2 * ciw, eih + zo};
    case ELEMENT_EDGE_BOTTOM: return OsRect{x + ciw, y + h - eih, w - 2 * ciw, eih + zo};
    case ELEMENT_EDGE_LEFT: return OsRect{x - zo, y + cih, eiw + zo, h - 2 * cih};
    case ELEMENT_EDGE_RIGHT: return OsRect{x + w - eiw, y + cih, eiw + zo, h - 2 * cih};
    case ELEMENT_CORNER_TOP_LEFT: return OsRect{x - co, y - co, ciw + co, cih + co};
    case ELEMENT_CORNER_TOP_RIGHT: return OsRect{x + w - ciw, y - co, ciw + co, cih + co};
    case ELEMENT_CORNER_BOTTOM_LEFT: return OsRect{x - co, y + h - cih, ciw + co, cih + co};
    case ELEMENT_CORNER_BOTTOM_RIGHT: return OsRect{x + w - ciw, y + h - cih, ciw + co, cih + co};
    default: return OsRect{0, 0, 0, 0};
    }
}

void grab_place_and_draw(void) {
    OsWindow *window = app.grab_window;
    if (!window) return;
    OsRect rect = grab_rect(app.hover_element);
    os_move_window(window, rect.x, rect.y, rect.width, rect.height);
    canvas_frame_box(&window->pixels, rect.width, rect.height);
    os_present_window(window);
}
