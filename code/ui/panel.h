// The control window: the button strip with its status outline, the value
// fields and the region line, and its placement beside the region.
#pragma once

#include "view.h"

enum {
    PANEL_WIDTH = 587,
    PANEL_HEIGHT = 61,
    PANEL_GAP = 11,   // between the region and the panel
    PANEL_INSET = 10, // the panel's shift along the region's side
};

// One control: where it answers the pointer, and the icon cell drawn for it.
// A cell is square; its dim face sits at sheet x 0 and its lit face right of it.
struct PanelControl {
    ElementId element;
    OsRect hit;         // client pixels of the control window
    i32 icon_x, icon_y; // where the cell is drawn
    i32 cell;           // the cell's side
    i32 sheet_y;        // the dim face's top in the icon sheet
    bool recording_only; // shown, and hit, only while recording or paused
};

enum { PANEL_CONTROL_COUNT = 16 };
// Whether the control is there in that mode.
bool panel_control_shown(const PanelControl &control, AppMode mode);
// Left to right; the single description of the panel's controls, read by
// both the drawing and the hit test.
extern const PanelControl panel_controls[PANEL_CONTROL_COUNT];

// Draws the whole panel for the view into a canvas of the panel's size.
void panel_paint(Canvas *canvas, const UiView *view, AppMode mode);
// panel_paint into the control window, then presents it.
void panel_draw(const UiView *view, AppMode mode);
// The placement rule on a monitor: below, above, right of the region, over
// its lower-left corner, else left of it; then kept wholly on the monitor,
// so that the buttons at its right end stay reachable.
void panel_position(i32 x, i32 y, i32 w, i32 h, OsRect monitor, i32 *panel_x, i32 *panel_y);
// The same on a monitor of this size at the origin.
inline void panel_position(i32 x, i32 y, i32 w, i32 h, i32 screen_width, i32 screen_height,
                           i32 *panel_x, i32 *panel_y) {
    panel_position(x, y, w, h, OsRect{0, 0, screen_width, screen_height}, panel_x, panel_y);
}
// Moves the control window beside the view's region, on the monitor that
// holds most of the region; its new place goes to panel_x/panel_y.
void panel_place(const UiView *view, i32 *panel_x, i32 *panel_y);
