// What one redraw of the control panel costs: the region text alone, a
// panel-like full redraw, and the zone hit test run on every cursor move.
// Run: build/<preset>/bench/bench_drawing --benchmark_repetitions=10
//        --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

#include "recorder/app.h"
#include "text/text.h"
#include "ui/canvas.h"

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
    return loaded;
}

static StrSlice slice(const char *text) { return StrSlice{(i64)strlen(text), (char *)text}; }

struct PanelCanvas {
    std::vector<u32> pixels = std::vector<u32>(587 * 61);
    Canvas canvas = {587, 61, pixels.data(), 587 * 61 * 4};
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

static void BM_PanelRedraw(benchmark::State &state) {
    if (!load_font()) {
        state.SkipWithError("no font");
        return;
    }
    std::vector<u32> sheet(66 * 387, 0xFF202020);
    icon_sheet = IconSheet{66, 387, sheet.data()};
    PanelCanvas panel;
    Canvas *c = &panel.canvas;
    for (auto _ : state) {
        u32 colour = status_colour(true, false);
        canvas_fill(c, COLOUR_BLACK);
        canvas_status_outline(c, 587, colour);
        canvas_blit_icon(c, 0, 0, 33, 33, 4, 4);
        canvas_status_separator(c, 39, colour);
        canvas_blit_cell25(c, 0, 99, 46);
        canvas_blit_cell25(c, 0, 124, 71);
        canvas_blit_cell25(c, 25, 149, 96);
        canvas_blit_cell25(c, 0, 174, 121);
        canvas_status_separator(c, 152, colour);
        canvas_blit_cell25(c, 25, 224, 159);
        canvas_blit_cell25(c, 0, 199, 185);
        canvas_status_separator(c, 216, colour);
        text_draw(c, 227.0f, 12.0f, slice("FPS 30"));
        canvas_blit_icon(c, 0, 349, 19, 19, 288, 11);
        canvas_blit_icon(c, 0, 368, 19, 19, 308, 11);
        canvas_status_separator(c, 333, colour);
        text_draw(c, 344.0f, 12.0f, slice("Delay 1"));
        canvas_blit_icon(c, 0, 349, 19, 19, 412, 11);
        canvas_blit_icon(c, 0, 368, 19, 19, 432, 11);
        canvas_status_separator(c, 457, colour);
        canvas_blit_cell25(c, 0, 249, 464);
        canvas_status_separator(c, 495, colour);
        canvas_blit_cell25(c, 0, 274, 502);
        canvas_blit_cell25(c, 0, 299, 528);
        canvas_blit_cell25(c, 0, 324, 554);
        text_draw(c, 8.0f, 42.0f, slice("x 770, y 430, w 380, h 220"));
        benchmark::DoNotOptimize(panel.pixels.data());
    }
    icon_sheet = IconSheet{0, 0, nullptr};
}
BENCHMARK(BM_PanelRedraw);

static void BM_HitTestZones(benchmark::State &state) {
    app.frame_metric_large = 11;
    app.frame_metric_small = 6;
    app.region_x0 = 770;
    app.region_y0 = 430;
    app.region_x1 = 1149;
    app.region_y1 = 649;
    update_zone_sizes();
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
