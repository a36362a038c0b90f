#include "frame.h"

#include "canvas.h"
#include "desktop.h"

void frame_edge_rects(const UiView *view, AppMode mode, OsRect rects[4]) {
    i32 t = (u16)view->frame_dash_thickness;
    i32 x = view->region_x, y = view->region_y, w = view->region_w, h = view->region_h;
    bool busy = mode != APP_MODE_IDLE;
    if (view->frame_style == 0) {
        for (i32 i = 0; i < 4; i++) rects[i] = OsRect{0, 0, 0, 0};
    } else if (view->frame_style == 1 || busy) {
        rects[0] = OsRect{x - t, y - t, w + 2 * t, t};
        rects[1] = OsRect{x - t, y + h, w + 2 * t, t};
        rects[2] = OsRect{x - t, y, t, h};
        rects[3] = OsRect{x + w, y, t, h};
    } else {
        // Across the monitors the region lies on, not the whole desktop.
        OsRect region = {x, y, w, h};
        OsRect span = desktop_span(view, &region);
        rects[0] = OsRect{span.x, y - t, span.width, t};
        rects[1] = OsRect{span.x, y + h, span.width, t};
        rects[2] = OsRect{x - t, span.y, t, span.height};
        rects[3] = OsRect{x + w, span.y, t, span.height};
    }
}

static OsWindow *edge_window(const UiView *view, i32 i) {
    OsWindow *edges[4] = {view->edge_top, view->edge_bottom, view->edge_left, view->edge_right};
    return edges[i];
}

void frame_place(const UiView *view, AppMode mode) {
    OsRect rects[4];
    frame_edge_rects(view, mode, rects);
    for (i32 i = 0; i < 4; i++)
        os_move_window(edge_window(view, i), rects[i].x, rects[i].y, rects[i].width, rects[i].height);
}

void frame_draw(const UiView *view) {
    u32 length = (u16)view->frame_dash_length;
    if (length == 0) length = 1;
    for (i32 i = 0; i < 4; i++) {
        OsWindow *window = edge_window(view, i);
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

void frame_show(const UiView *view, AppMode mode) {
    frame_place(view, mode);
    if (view->frame_style != 0) frame_draw(view);
}

OsRect grab_rect(const UiView *view, ElementId element) {
    i32 x = view->region_x, y = view->region_y, w = view->region_w, h = view->region_h;
    i32 co = view->frame_metric_large, zo = view->frame_metric_small;
    i32 ciw = view->corner_inner_w, cih = view->corner_inner_h;
    i32 eiw = view->edge_inner_w, eih = view->edge_inner_h;
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

void grab_place_and_draw(const UiView *view) {
    OsWindow *window = view->grab_window;
    if (!window) return;
    OsRect rect = grab_rect(view, view->hover_element);
    os_move_window(window, rect.x, rect.y, rect.width, rect.height);
    canvas_frame_box(&window->pixels, rect.width, rect.height);
    os_present_window(window);
}
