// What one redraw of the control panel costs: the region text alone, the
// panel's full redraw, and the zone hit test run on every cursor move.
// Run: build/<preset>/bench/bench_drawing --benchmark_repetitions=10
//        --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

#include "recorder/app.h"
#include "recorder/pointer.h"
#include "text/text.h"
#include "ui/canvas.h"
#include "ui/panel.h"
#include "unit/app_region.h"

static const char *font_path = "/usr/share/fonts/opentype/inter/Inter-Regular.otf";

static bool load_font(void) {
    static bool loaded = false;
    if (loaded) return true;
    FILE *file = fopen(font_path, "rb");
    if (!file) return false;
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fseek(file, 0, SEEK_SET);
    char *data = (char *)malloc((size_t)size);
    bool read = fread(data, 1, (size_t)size, file) == (size_t)size;
    fclose(file);
    loaded = read && font_load(StrSlice{size, data}) != nullptr;
    free(data); // the face keeps its own copy
    return loaded;
}

static StrSlice slice(const char *text) { return StrSlice{(i64)strlen(text), (char *)text}; }

struct PanelCanvas {
    std::vector<u32> pixels = std::vector<u32>(PANEL_WIDTH * PANEL_HEIGHT);
    Canvas canvas = {PANEL_WIDTH, PANEL_HEIGHT, pixels.data(), PANEL_WIDTH * PANEL_HEIGHT * 4};
};

static void BM_TextRegionLine(benchmark::State &state) {
    if (!load_font()) {
        state.SkipWithError("no font");
        return;
    }
    PanelCanvas panel;
    canvas_fill(&panel.canvas, COLOUR_BLACK);
    for (auto _ : state) text_draw(&panel.canvas, 8.0f, 42.0f, slice("x 770, y 430, w 380, h 220"));
}
BENCHMARK(BM_TextRegionLine);

// Argument 1: a long message shown (cut to the line once, then the same
// message through redraw after redraw, as hover changes redraw the panel);
// 2: a different message every time, measured and cut on every redraw.
static void BM_PanelRedraw(benchmark::State &state) {
    if (!load_font()) {
        state.SkipWithError("no font");
        return;
    }
    std::vector<u32> sheet(66 * 387, 0xFF202020);
    icon_sheet = IconSheet{66, 387, sheet.data()};
    PanelCanvas panel;
    UiView view = {};
    view.region_x = 770;
    view.region_y = 430;
    view.region_w = 380;
    view.region_h = 220;
    if (state.range(0)) {
        snprintf(view.message, MESSAGE_CAPACITY, "Recording failed: [pulse] vornby-no-such-device: No such "
                                                 "process while opening the audio input for the recording");
        view.message_kind = MESSAGE_ERROR;
        view.message_see_log = true;
    }
    i32 round = 0;
    for (auto _ : state) {
        if (state.range(0) == 2) view.message[0] = (char)('A' + round++ % 2);
        panel_paint(&panel.canvas, &view, APP_MODE_IDLE);
        benchmark::DoNotOptimize(panel.pixels.data());
    }
    icon_sheet = IconSheet{0, 0, nullptr};
}
BENCHMARK(BM_PanelRedraw)->ArgName("message")->Arg(0)->Arg(1)->Arg(2);

static void BM_HitTestZones(benchmark::State &state) {
    app.frame_metric_large = 11;
    app.frame_metric_small = 6;
    set_region(770, 430, 1149, 649);
    i32 step = 0;
    for (auto _ : state) {
        // Walk a 64 x 64 grid over and around the region's top-left quarter.
        app.last_cursor_x = 750 + (step & 63) * 4;
        app.last_cursor_y = 410 + (step >> 6 & 63) * 4;
        step++;
        benchmark::DoNotOptimize(hit_test_zones());
    }
}
BENCHMARK(BM_HitTestZones);

BENCHMARK_MAIN();
