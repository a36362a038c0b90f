// Canvas primitives: clipping at every edge, the icon copy's two cuts, and
// that nothing is written outside the canvas's own pixels.
#include <gtest/gtest.h>
#include <vector>

#include "ui/canvas.h"

static const u32 guard = 0x5A5A5A5A;
static const u32 background = 0x11223344;

// A w x h canvas inside a larger block whose extra pixels must stay `guard`.
struct TestCanvas {
    std::vector<u32> block;
    Canvas canvas;
    TestCanvas(i32 w, i32 h) : block((size_t)(w * h) + 64, guard) {
        canvas = Canvas{w, h, block.data() + 32, w * h * 4};
        for (i32 i = 0; i < w * h; i++) canvas.pixels[i] = background;
    }
    u32 at(i32 x, i32 y) const { return canvas.pixels[y * canvas.width + x]; }
    bool guards_intact() const {
        size_t inside = (size_t)(canvas.width * canvas.height);
        for (size_t i = 0; i < 32; i++)
            if (block[i] != guard || block[32 + inside + i] != guard) return false;
        return true;
    }
};

// Sheet pixel (x, y) = 0xAB000000 | y << 8 | x: every copied pixel tells where it came from.
struct TestSheet {
    std::vector<u32> pixels;
    TestSheet(i32 w, i32 h) : pixels((size_t)(w * h)) {
        for (i32 y = 0; y < h; y++)
            for (i32 x = 0; x < w; x++) pixels[(size_t)(y * w + x)] = 0xAB000000u | (u32)y << 8 | (u32)x;
        icon_sheet = IconSheet{w, h, pixels.data()};
    }
    ~TestSheet() { icon_sheet = IconSheet{0, 0, nullptr}; }
};

static u32 sheet_pixel(i32 x, i32 y) { return 0xAB000000u | (u32)y << 8 | (u32)x; }

TEST(Canvas, StatusColourFollowsTheState) {
    EXPECT_EQ(status_colour(true, false), COLOUR_IDLE);
    EXPECT_EQ(status_colour(false, false), COLOUR_COUNTDOWN);
    EXPECT_EQ(status_colour(false, true), COLOUR_RECORDING);
}

TEST(Canvas, ZeroSizedCanvasIsNeverWritten) {
    TestSheet sheet(66, 387);
    for (auto size : {std::pair<i32, i32>{0, 5}, {5, 0}, {0, 0}}) {
        std::vector<u32> block(64, guard);
        Canvas canvas = {size.first, size.second, block.data() + 32, 0};
        canvas_fill(&canvas, COLOUR_WHITE);
        canvas_status_outline(&canvas, 587, COLOUR_IDLE);
        canvas_status_separator(&canvas, 0, COLOUR_IDLE);
        canvas_blit_icon(&canvas, 0, 0, 33, 33, 0, 0);
        canvas_blit_cell25(&canvas, 0, 99, 0);
        canvas_frame_box(&canvas, 3, 3);
        for (u32 p : block) ASSERT_EQ(p, guard);
    }
}

TEST(Canvas, StatusOutlineIsTwoPixelsAndClipped) {
    TestCanvas t(12, 45);
    canvas_status_outline(&t.canvas, 12, COLOUR_IDLE);
    for (i32 x = 0; x < 12; x++)
        for (i32 y : {0, 1, 39, 40}) EXPECT_EQ(t.at(x, y), COLOUR_IDLE) << x << "," << y;
    for (i32 y = 2; y <= 38; y++) {
        for (i32 x : {0, 1, 10, 11}) EXPECT_EQ(t.at(x, y), COLOUR_IDLE) << x << "," << y;
        for (i32 x = 2; x <= 9; x++) EXPECT_EQ(t.at(x, y), background) << x << "," << y;
    }
    for (i32 x = 0; x < 12; x++) EXPECT_EQ(t.at(x, 41), background);

    // Wider than the canvas: the right-hand columns fall outside and must
    // not wrap into the next row; lower than 41 rows stops at the last row.
    TestCanvas narrow(12, 20);
    canvas_status_outline(&narrow.canvas, 30, COLOUR_IDLE);
    for (i32 y = 2; y < 20; y++)
        for (i32 x = 2; x < 12; x++) EXPECT_EQ(narrow.at(x, y), background) << x << "," << y;
    EXPECT_TRUE(narrow.guards_intact());
}

TEST(Canvas, SeparatorStaysInsideTheCanvas) {
    TestCanvas t(8, 30);
    canvas_status_separator(&t.canvas, 8, COLOUR_IDLE);
    canvas_status_separator(&t.canvas, 100, COLOUR_IDLE);
    canvas_status_separator(&t.canvas, -1, COLOUR_IDLE);
    for (i32 i = 0; i < 8 * 30; i++) ASSERT_EQ(t.canvas.pixels[i], background);
    canvas_status_separator(&t.canvas, 7, COLOUR_RECORDING);
    for (i32 y = 0; y < 30; y++) {
        EXPECT_EQ(t.at(7, y), COLOUR_RECORDING);
        EXPECT_EQ(t.at(6, y), background);
    }
    EXPECT_TRUE(t.guards_intact());
}

TEST(Canvas, IconCopyIsOpaqueAndClippedAtTheCanvasEdges) {
    TestSheet sheet(66, 387);
    sheet.pixels[0] = 0x00123456; // alpha 0 is copied, not blended
    TestCanvas t(40, 40);
    canvas_blit_icon(&t.canvas, 0, 0, 33, 33, 4, 4);
    EXPECT_EQ(t.at(4, 4), 0x00123456u);
    EXPECT_EQ(t.at(36, 36), sheet_pixel(32, 32));
    EXPECT_EQ(t.at(37, 37), background);
    EXPECT_EQ(t.at(3, 4), background);

    // Left of and above the canvas: the first visible column shows source
    // column src_x - dst_x, the first visible row src_y - dst_y.
    TestCanvas left(20, 20);
    canvas_blit_icon(&left.canvas, 10, 50, 12, 12, -3, -5);
    EXPECT_EQ(left.at(0, 0), sheet_pixel(13, 55));
    EXPECT_EQ(left.at(8, 6), sheet_pixel(21, 61));
    EXPECT_EQ(left.at(9, 0), background);
    EXPECT_EQ(left.at(0, 7), background);

    // Right of and below: cut at the canvas's last column and row.
    TestCanvas right(20, 20);
    canvas_blit_icon(&right.canvas, 0, 0, 25, 25, 15, 17);
    EXPECT_EQ(right.at(19, 19), sheet_pixel(4, 2));
    EXPECT_EQ(right.at(14, 19), background);
    EXPECT_TRUE(right.guards_intact());

    // Entirely outside: nothing.
    TestCanvas outside(20, 20);
    canvas_blit_icon(&outside.canvas, 0, 0, 25, 25, 20, 0);
    canvas_blit_icon(&outside.canvas, 0, 0, 25, 25, -25, 0);
    canvas_blit_icon(&outside.canvas, 0, 0, 25, 25, 0, 20);
    for (i32 i = 0; i < 400; i++) ASSERT_EQ(outside.canvas.pixels[i], background);

    TestCanvas cell(60, 40);
    canvas_blit_cell25(&cell.canvas, 25, 99, 30);
    EXPECT_EQ(cell.at(30, 8), sheet_pixel(25, 99));
    EXPECT_EQ(cell.at(54, 32), sheet_pixel(49, 123));
    EXPECT_EQ(cell.at(30, 7), background);
    EXPECT_EQ(cell.at(55, 32), background);
    EXPECT_EQ(cell.at(54, 33), background);
}

TEST(Canvas, IconRectangleIsCutAtTheSheetEdge) {
    TestSheet sheet(66, 387);
    TestCanvas t(40, 40);
    // 10 columns asked from column 60 of a 66-wide sheet: 6 arrive, and row
    // 380's tail is not followed by the next row's start.
    canvas_blit_icon(&t.canvas, 60, 380, 10, 10, 0, 0);
    EXPECT_EQ(t.at(5, 0), sheet_pixel(65, 380));
    EXPECT_EQ(t.at(6, 0), background);
    EXPECT_EQ(t.at(0, 6), sheet_pixel(60, 386));
    EXPECT_EQ(t.at(0, 7), background);

    // A negative source start is cut at the sheet's first column and row.
    TestCanvas neg(40, 40);
    canvas_blit_icon(&neg.canvas, -4, -2, 10, 10, 0, 0);
    EXPECT_EQ(neg.at(0, 0), sheet_pixel(0, 0));
    EXPECT_EQ(neg.at(5, 7), sheet_pixel(5, 7));
    EXPECT_EQ(neg.at(6, 0), background);
    EXPECT_EQ(neg.at(0, 8), background);

    TestCanvas beyond(40, 40);
    canvas_blit_icon(&beyond.canvas, 66, 0, 10, 10, 0, 0);
    canvas_blit_icon(&beyond.canvas, 0, 387, 10, 10, 0, 0);
    for (i32 i = 0; i < 1600; i++) ASSERT_EQ(beyond.canvas.pixels[i], background);
}

TEST(Canvas, FrameBoxOutlinesOnlyWhatExists) {
    TestCanvas t(6, 5);
    canvas_frame_box(&t.canvas, 6, 5);
    for (i32 y = 0; y < 5; y++)
        for (i32 x = 0; x < 6; x++) {
            bool edge = x == 0 || y == 0 || x == 5 || y == 4;
            EXPECT_EQ(t.at(x, y), edge ? COLOUR_WHITE : COLOUR_BLACK) << x << "," << y;
        }

    TestCanvas one(3, 3);
    canvas_frame_box(&one.canvas, 1, 1);
    for (i32 i = 0; i < 9; i++) EXPECT_EQ(one.canvas.pixels[i], i == 0 ? COLOUR_WHITE : COLOUR_BLACK);

    TestCanvas line(4, 3);
    canvas_frame_box(&line.canvas, 4, 1);
    for (i32 x = 0; x < 4; x++) {
        EXPECT_EQ(line.at(x, 0), COLOUR_WHITE);
        EXPECT_EQ(line.at(x, 1), COLOUR_BLACK);
    }

    // Larger than the canvas: the far edges are off the canvas.
    TestCanvas big(4, 4);
    canvas_frame_box(&big.canvas, 10, 10);
    EXPECT_EQ(big.at(3, 3), COLOUR_BLACK);
    EXPECT_EQ(big.at(3, 0), COLOUR_WHITE);
    EXPECT_EQ(big.at(0, 3), COLOUR_WHITE);
    EXPECT_TRUE(big.guards_intact());

    TestCanvas negative(4, 4);
    canvas_frame_box(&negative.canvas, -3, 4);
    for (i32 i = 0; i < 16; i++) EXPECT_EQ(negative.canvas.pixels[i], COLOUR_BLACK);
}

// The rule every window buffer is sized by: no size makes it overflow, and
// one with no buffer gives 0, which leaves the window's canvas unchanged.
TEST(Canvas, PixelCapacityHasNoOverflow) {
    EXPECT_EQ(os_pixel_capacity(0, 0), 1);
    EXPECT_EQ(os_pixel_capacity(3, 3), 64);
    EXPECT_EQ(os_pixel_capacity(16384, 16384), 1 << 30);
    EXPECT_EQ(os_pixel_capacity(16385, 16384), 0);
    EXPECT_EQ(os_pixel_capacity(1920 + 2 * 20000, 20000), 0); // the frame of a 20000-pixel dash
    EXPECT_EQ(os_pixel_capacity(INT32_MAX, INT32_MAX), 0);
    EXPECT_EQ(os_pixel_capacity(-1, 5), 0);
}
