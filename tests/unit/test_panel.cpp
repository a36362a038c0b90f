// The panel's one table: the black-box driver's own copy of it (the centres
// it clicks, the cells it watches light up) checked against it, and the
// faces the drawing picks for each control.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "text/text.h"
#include "ui/canvas.h"
#include "ui/hit_test.h"
#include "ui/panel.h"

// The dictionary literal that follows `marker` in the script: its
// "key": value entries, values as written.
static std::map<std::string, std::string> python_dict(const std::string &script, const char *marker) {
    std::map<std::string, std::string> entries;
    size_t at = script.find(marker);
    if (at == std::string::npos) return entries;
    size_t open = script.find('{', at), close = script.find('}', at);
    for (size_t i = open; i < close;) {
        size_t key_start = script.find('"', i);
        if (key_start >= close) break;
        size_t key_end = script.find('"', key_start + 1);
        size_t colon = script.find(':', key_end);
        size_t value_end = script[colon + 2] == '(' ? script.find(')', colon) + 1 : script.find_first_of(",}", colon);
        entries[script.substr(key_start + 1, key_end - key_start - 1)] = script.substr(colon + 1, value_end - colon - 1);
        i = value_end;
    }
    return entries;
}

TEST(PanelTable, TheBlackBoxDriversCopyMatches) {
    const char *path = VORNBY_TESTS_DIR "/app/recorder_test.py";
    StrSlice file = os_read_entire_file(StrSlice{(i64)strlen(path), (char *)path});
    ASSERT_GT(file.length, 0) << path;
    std::string script(file.data, (size_t)file.length);
    os_free_file(&file);

    const std::map<std::string, ElementId> names = {
        {"record", ELEMENT_RECORD},       {"hidden", ELEMENT_FRAME_HIDDEN}, {"border", ELEMENT_FRAME_BORDER},
        {"guides", ELEMENT_FRAME_GUIDES}, {"lock", ELEMENT_LOCK_REGION},    {"pointer", ELEMENT_DRAW_MOUSE},
        {"audio", ELEMENT_AUDIO},         {"fps-", ELEMENT_FPS_DOWN},       {"fps+", ELEMENT_FPS_UP},
        {"delay-", ELEMENT_DELAY_DOWN},   {"delay+", ELEMENT_DELAY_UP},     {"folder", ELEMENT_OPEN_OUTPUT},
        {"move", ELEMENT_MOVE_REGION},    {"minimise", ELEMENT_MINIMISE},   {"close", ELEMENT_CLOSE},
        {"pause", ELEMENT_PAUSE},
    };
    std::map<std::string, std::string> centres = python_dict(script, "def panel_button");
    std::map<std::string, std::string> lit_sizes = python_dict(script, "HOVER_LIT =");
    ASSERT_EQ(centres.size(), (size_t)PANEL_CONTROL_COUNT);
    ASSERT_FALSE(lit_sizes.empty());

    for (const PanelControl &control : panel_controls) {
        std::string name;
        for (const auto &entry : names)
            if (entry.second == control.element) name = entry.first;
        ASSERT_EQ(centres.count(name), 1u) << name;
        int x = -1, y = -1;
        ASSERT_EQ(sscanf(centres[name].c_str(), " (%d, %d)", &x, &y), 2) << centres[name];
        // The centre it clicks is this control, and on its icon.
        EXPECT_EQ(hit_test_panel_at(x, y, APP_MODE_RECORDING), control.element) << name;
        EXPECT_GE(x, control.icon_x) << name;
        EXPECT_LT(x, control.icon_x + control.cell) << name;
        EXPECT_GE(y, control.icon_y) << name;
        EXPECT_LT(y, control.icon_y + control.cell) << name;
        if (!lit_sizes.count(name)) continue;
        // The square it watches for the hover light lies inside the icon cell.
        int size = atoi(lit_sizes[name].c_str());
        EXPECT_EQ(size, control.cell) << name;
        EXPECT_GE(x - size / 2 + 2, control.icon_x) << name;
        EXPECT_LE(x - size / 2 + size - 2, control.icon_x + control.cell) << name;
        EXPECT_GE(y - size / 2 + 2, control.icon_y) << name;
        EXPECT_LE(y - size / 2 + size - 2, control.icon_y + control.cell) << name;
    }
}

// Each control shows the face its state asks for: settings lit by their
// value, buttons by the hover, the record button's row by the program state.
TEST(PanelTable, PaintPicksEachControlsFace) {
    // A sheet whose every pixel names its own place in it.
    std::vector<u32> sheet(66 * 425);
    for (i32 y = 0; y < 425; y++)
        for (i32 x = 0; x < 66; x++) sheet[(size_t)(y * 66 + x)] = 0xFF000000u | (u32)x << 12 | (u32)y;
    IconSheet saved = icon_sheet;
    icon_sheet = IconSheet{66, 425, sheet.data()};
    std::vector<u32> pixels(PANEL_WIDTH * PANEL_HEIGHT);
    Canvas canvas = {PANEL_WIDTH, PANEL_HEIGHT, pixels.data(), PANEL_WIDTH * PANEL_HEIGHT * 4};

    UiView view = {};
    view.frame_style = 1;
    view.region_locked = true;
    view.draw_mouse = false;
    view.record_audio = true;
    view.hover_element = ELEMENT_CLOSE;
    panel_paint(&canvas, &view, APP_MODE_COUNTDOWN);

    const ElementId lit[] = {ELEMENT_FRAME_BORDER, ELEMENT_LOCK_REGION, ELEMENT_AUDIO, ELEMENT_CLOSE};
    for (const PanelControl &control : panel_controls) {
        bool is_lit = std::find(std::begin(lit), std::end(lit), control.element) != std::end(lit);
        u32 sheet_x = is_lit ? (u32)control.cell : 0;
        u32 sheet_y = (u32)control.sheet_y + (control.element == ELEMENT_RECORD ? 33 : 0);
        u32 corner = pixels[(size_t)(control.icon_y * PANEL_WIDTH + control.icon_x)];
        if (control.recording_only) sheet_x = sheet_y = 0; // not there before the recording
        EXPECT_EQ(corner, 0xFF000000u | sheet_x << 12 | sheet_y) << control.element;
    }
    EXPECT_EQ(pixels[0], (u32)COLOUR_COUNTDOWN);
    // Paused: yellow too, never the recording's green; the text line's control
    // resumes (its face under the pause face), lit under the pointer.
    view.hover_element = ELEMENT_PAUSE;
    panel_paint(&canvas, &view, APP_MODE_PAUSED);
    icon_sheet = saved;
    EXPECT_EQ(pixels[42 * PANEL_WIDTH + 560], 0xFF000000u | 19u << 12 | (387u + 19u));
    EXPECT_EQ(pixels[4 * PANEL_WIDTH + 4], 0xFF000000u | 33u); // the record button's countdown face
    EXPECT_EQ(pixels[0], (u32)COLOUR_COUNTDOWN);
}

// The text line: rows below the status outline.
static const i32 text_line_top = 41;

struct TextLineInk {
    i32 right = -1;         // rightmost column with any ink
    i32 reddish = 0, greenish = 0, grey = 0;
};

static TextLineInk text_line_ink(const std::vector<u32> &pixels) {
    TextLineInk ink;
    for (i32 y = text_line_top; y < PANEL_HEIGHT; y++)
        for (i32 x = 0; x < PANEL_WIDTH; x++) {
            u32 p = pixels[(size_t)(y * PANEL_WIDTH + x)];
            i32 r = (i32)(p >> 16 & 255), g = (i32)(p >> 8 & 255), b = (i32)(p & 255);
            if (r + g + b == 0) continue;
            if (x > ink.right) ink.right = x;
            if (r > g + 40 && r > b + 40) ink.reddish++;
            else if (g > r + 40 && g > b + 40) ink.greenish++;
            else if (r == g && g == b) ink.grey++;
        }
    return ink;
}

TEST(PanelMessage, TakesTheTextLineInItsColourCutInsideTheWindow) {
    const char *path = "/usr/share/fonts/opentype/inter/Inter-Regular.otf";
    static StrSlice font = os_read_entire_file(StrSlice{(i64)strlen(path), (char *)path});
    static FontFace *face = font.length > 0 ? font_load(font) : nullptr;
    ASSERT_NE(face, nullptr) << path;
    TextStyle saved = text_style;
    text_style = TextStyle{face, 16.0f, 1.0f, 0.0f, 0.0f, 0xFFFFFFFF};
    std::vector<u32> pixels(PANEL_WIDTH * PANEL_HEIGHT);
    Canvas canvas = {PANEL_WIDTH, PANEL_HEIGHT, pixels.data(), PANEL_WIDTH * PANEL_HEIGHT * 4};
    UiView view = {};
    view.region_x = 770;
    view.region_y = 430;
    view.region_w = 380;
    view.region_h = 220;

    panel_paint(&canvas, &view, APP_MODE_IDLE);
    TextLineInk region = text_line_ink(pixels);
    EXPECT_GT(region.grey, 0);
    EXPECT_EQ(region.reddish + region.greenish, 0);

    // Far too long for the line: cut at a whole character (the ä's two
    // bytes), an ellipsis and the note still inside the right margin.
    std::string long_text = "Recording failed: ";
    while (long_text.size() + 2 < MESSAGE_CAPACITY) long_text += "\xC3\xA4";
    snprintf(view.message, MESSAGE_CAPACITY, "%s", long_text.c_str());
    view.message_kind = MESSAGE_ERROR;
    view.message_see_log = true;
    panel_paint(&canvas, &view, APP_MODE_IDLE);
    TextLineInk error = text_line_ink(pixels);
    EXPECT_GT(error.reddish, 0);
    EXPECT_EQ(error.grey + error.greenish, 0) << "the region line or white text shows through";
    EXPECT_LE(error.right, PANEL_WIDTH - 8);
    EXPECT_GT(error.right, PANEL_WIDTH - 40) << "cut far before the end of the line";
    EXPECT_EQ(text_fit(StrSlice{4, (char *)"\xC3\xA4\xC3\xA4"}, 1.5f * text_width(StrSlice{2, (char *)"\xC3\xA4"})), 2);

    snprintf(view.message, MESSAGE_CAPACITY, "Saved 2026-12-08 0.mp4 \xE2\x80\x94 12.4 MB, 0:42");
    view.message_kind = MESSAGE_DONE;
    view.message_see_log = false;
    panel_paint(&canvas, &view, APP_MODE_IDLE);
    TextLineInk done = text_line_ink(pixels);
    EXPECT_GT(done.greenish, 0);
    EXPECT_EQ(done.reddish + done.grey, 0);
    EXPECT_LT(done.right, PANEL_WIDTH / 2 + 40) << "a short message is not stretched or padded";

    // While recording the line is the recording's time and size (a message
    // waits), from second to second, left of the pause control; paused, it
    // says so.
    view.recorded_bytes = 2400000;
    std::vector<std::vector<u32>> lines;
    for (i64 ms : {65400, 65900, 66000}) {
        view.recorded_ms = ms;
        panel_paint(&canvas, &view, ms < 66000 ? APP_MODE_RECORDING : APP_MODE_PAUSED);
        lines.push_back(pixels);
    }
    TextLineInk recording = text_line_ink(lines[0]);
    EXPECT_TRUE(recording.grey > 0 && recording.greenish == 0 && recording.right < 556);
    EXPECT_TRUE(lines[0] == lines[1] && lines[1] != lines[2]);

    // No font: nothing on the line, and nothing breaks.
    text_style.face = nullptr;
    panel_paint(&canvas, &view, APP_MODE_IDLE);
    EXPECT_EQ(text_line_ink(pixels).right, -1);
    text_style = saved;
}
