// The panel's one table, apart from its drawing so that the hit tests link
// without a window backend.
#include "panel.h"

const PanelControl panel_controls[PANEL_CONTROL_COUNT] = {
    {ELEMENT_RECORD, {4, 4, 34, 34}, 4, 4, 33, 0, false},
    {ELEMENT_FRAME_HIDDEN, {46, 8, 26, 26}, 46, 8, 25, 99, false},
    {ELEMENT_FRAME_BORDER, {72, 8, 25, 26}, 71, 8, 25, 124, false},
    {ELEMENT_FRAME_GUIDES, {97, 8, 25, 26}, 96, 8, 25, 149, false},
    {ELEMENT_LOCK_REGION, {122, 8, 25, 26}, 121, 8, 25, 174, false},
    {ELEMENT_DRAW_MOUSE, {159, 8, 26, 26}, 159, 8, 25, 224, false},
    {ELEMENT_AUDIO, {185, 8, 26, 26}, 185, 8, 25, 199, false},
    {ELEMENT_FPS_DOWN, {288, 8, 20, 20}, 288, 11, 19, 349, false},
    {ELEMENT_FPS_UP, {308, 8, 20, 20}, 308, 11, 19, 368, false},
    {ELEMENT_DELAY_DOWN, {412, 8, 20, 20}, 412, 11, 19, 349, false},
    {ELEMENT_DELAY_UP, {432, 8, 20, 20}, 432, 11, 19, 368, false},
    {ELEMENT_OPEN_OUTPUT, {464, 8, 26, 26}, 464, 8, 25, 249, false},
    {ELEMENT_MOVE_REGION, {502, 8, 26, 26}, 502, 8, 25, 274, false},
    {ELEMENT_MINIMISE, {528, 8, 26, 26}, 528, 8, 25, 299, false},
    {ELEMENT_CLOSE, {554, 8, 26, 26}, 554, 8, 25, 324, false},
    // At the right end of the text line, below the buttons; its resume face
    // lies under the pause face in the sheet.
    {ELEMENT_PAUSE, {556, 41, 27, 20}, 560, 42, 19, 387, true},
};

bool panel_control_shown(const PanelControl &control, AppMode mode) {
    return !control.recording_only || mode_records(mode);
}
