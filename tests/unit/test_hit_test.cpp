// Hit tests: the panel's columns and rows at every boundary, the idle test's
// order (panel, lock, zones), the zones' corners, ties and bands, and the
// zone sizes.
#include <gtest/gtest.h>

#include "recorder/app.h"
#include "recorder/pointer.h"
#include "recorder/region.h"
#include "ui/hit_test.h"

static void reset_app(void) { app = AppState{}; }

// 1920 x 1080 metrics and the default region (770, 430)-(1149, 649).
static void default_region(void) {
    reset_app();
    app.frame_metric_large = 11;
    app.frame_metric_small = 6;
    app.region_x0 = 770;
    app.region_y0 = 430;
    app.region_x1 = 1149;
    app.region_y1 = 649;
    update_zone_sizes();
}

static ElementId zone_at(i32 x, i32 y) {
    app.last_cursor_x = x;
    app.last_cursor_y = y;
    return hit_test_zones();
}

TEST(HitTest, PanelColumnAndRowBoundaries) {
    struct Control {
        i32 first, last, top, bottom;
        ElementId id;
    };
    const Control controls[] = {
        {4, 37, 4, 37, ELEMENT_RECORD},          {46, 71, 8, 33, ELEMENT_FRAME_HIDDEN},
        {72, 96, 8, 33, ELEMENT_FRAME_BORDER},   {97, 121, 8, 33, ELEMENT_FRAME_GUIDES},
        {122, 146, 8, 33, ELEMENT_LOCK_REGION},  {159, 184, 8, 33, ELEMENT_DRAW_MOUSE},
        {185, 210, 8, 33, ELEMENT_AUDIO},        {288, 307, 8, 27, ELEMENT_FPS_DOWN},
        {308, 327, 8, 27, ELEMENT_FPS_UP},       {412, 431, 8, 27, ELEMENT_DELAY_DOWN},
        {432, 451, 8, 27, ELEMENT_DELAY_UP},     {464, 489, 8, 33, ELEMENT_OPEN_OUTPUT},
        {502, 527, 8, 33, ELEMENT_MOVE_REGION},  {528, 553, 8, 33, ELEMENT_MINIMISE},
        {554, 579, 8, 33, ELEMENT_CLOSE},
    };
    for (const Control &c : controls) {
        for (i32 dx : {c.first, c.last}) {
            EXPECT_EQ(hit_test_panel_at(dx, c.top), c.id) << dx;
            EXPECT_EQ(hit_test_panel_at(dx, c.bottom), c.id) << dx;
            EXPECT_EQ(hit_test_panel_at(dx, c.top - 1), ELEMENT_PANEL) << dx;
            EXPECT_EQ(hit_test_panel_at(dx, c.bottom + 1), ELEMENT_PANEL) << dx;
        }
    }
    // The gaps between controls, and outside the window on every side.
    for (i32 dx : {-50, 3, 38, 45, 147, 158, 211, 287, 328, 411, 452, 463, 490, 501, 580, 5000})
        for (i32 dy : {-10, 8, 20, 33, 100}) EXPECT_EQ(hit_test_panel_at(dx, dy), ELEMENT_PANEL) << dx;
    EXPECT_EQ(hit_test_panel_at(300, 28), ELEMENT_PANEL);
    EXPECT_EQ(hit_test_panel_at(300, 8), ELEMENT_FPS_DOWN);
    EXPECT_EQ(hit_test_panel_at(579, 20), ELEMENT_CLOSE);
    EXPECT_EQ(hit_test_panel_at(580, 20), ELEMENT_PANEL);
    // The pause control at the text line's right end, only while recording or paused.
    for (AppMode mode : {APP_MODE_IDLE, APP_MODE_COUNTDOWN, APP_MODE_RECORDING, APP_MODE_PAUSED}) {
        ElementId pause = mode >= APP_MODE_RECORDING ? ELEMENT_PAUSE : ELEMENT_PANEL;
        for (i32 dx : {556, 582})
            for (i32 dy : {41, 60}) EXPECT_EQ(hit_test_panel_at(dx, dy, mode), pause) << mode;
        for (i32 dx : {555, 583}) EXPECT_EQ(hit_test_panel_at(dx, 50, mode), ELEMENT_PANEL) << mode;
        EXPECT_EQ(hit_test_panel_at(570, 40, mode), ELEMENT_PANEL) << mode;
    }
}

TEST(HitTest, IdleTestPrefersThePanelThenTheLock) {
    default_region();
    OsWindow panel = {};
    panel.client_x = 780;
    panel.client_y = 661;
    panel.client_width = 587;
    panel.client_height = 61;
    app.control_window = &panel;

    app.last_cursor_x = 780 + 560;
    app.last_cursor_y = 661 + 20;
    EXPECT_EQ(hit_test(), ELEMENT_CLOSE);
    EXPECT_EQ(hit_test_panel(), ELEMENT_CLOSE);
    // The client rectangle ends before client_x + width.
    app.last_cursor_x = 780 + 587;
    EXPECT_EQ(hit_test_panel(), ELEMENT_PANEL);
    EXPECT_EQ(hit_test(), ELEMENT_NONE);

    // On the top edge of the region: a zone unless locked; the panel still answers.
    app.last_cursor_x = 960;
    app.last_cursor_y = 430;
    EXPECT_EQ(hit_test(), ELEMENT_EDGE_TOP);
    app.region_locked = true;
    EXPECT_EQ(hit_test(), ELEMENT_NONE);
    app.last_cursor_x = 780 + 10;
    app.last_cursor_y = 661 + 10;
    EXPECT_EQ(hit_test(), ELEMENT_RECORD);
    app.control_window = nullptr;
}

TEST(HitTest, EdgeBandsAreStrict) {
    default_region(); // hw 190, hh 110, centre (960, 540); bands 6 deep outside, 6 inside
    EXPECT_EQ(zone_at(960, 424), ELEMENT_NONE);
    EXPECT_EQ(zone_at(960, 425), ELEMENT_EDGE_TOP);
    EXPECT_EQ(zone_at(960, 435), ELEMENT_EDGE_TOP);
    EXPECT_EQ(zone_at(960, 436), ELEMENT_NONE);
    EXPECT_EQ(zone_at(960, 645), ELEMENT_EDGE_BOTTOM);
    EXPECT_EQ(zone_at(960, 644), ELEMENT_NONE);
    EXPECT_EQ(zone_at(960, 655), ELEMENT_EDGE_BOTTOM);
    EXPECT_EQ(zone_at(960, 656), ELEMENT_NONE);
    EXPECT_EQ(zone_at(765, 540), ELEMENT_EDGE_LEFT);
    EXPECT_EQ(zone_at(764, 540), ELEMENT_NONE);
    EXPECT_EQ(zone_at(775, 540), ELEMENT_EDGE_LEFT);
    EXPECT_EQ(zone_at(1144, 540), ELEMENT_NONE);
    EXPECT_EQ(zone_at(1145, 540), ELEMENT_EDGE_RIGHT);
    EXPECT_EQ(zone_at(1155, 540), ELEMENT_EDGE_RIGHT);
    EXPECT_EQ(zone_at(1156, 540), ELEMENT_NONE);
    EXPECT_EQ(zone_at(960, 540), ELEMENT_NONE); // the centre: ratio 0 is bottom/right, inside
    // Along the edge the band is not limited: far right of the centre but
    // relatively nearer the top.
    EXPECT_EQ(zone_at(1100, 427), ELEMENT_EDGE_TOP);
}

TEST(HitTest, CornersComeFirstAndNeverFallThrough) {
    default_region();
    // Corner boxes reach 11 inside and, strictly, less than 11 outside.
    EXPECT_EQ(zone_at(770, 430), ELEMENT_CORNER_TOP_LEFT);
    EXPECT_EQ(zone_at(760, 420), ELEMENT_CORNER_TOP_LEFT);
    EXPECT_EQ(zone_at(759, 430), ELEMENT_NONE);
    EXPECT_EQ(zone_at(1149, 430), ELEMENT_CORNER_TOP_RIGHT);
    EXPECT_EQ(zone_at(770, 649), ELEMENT_CORNER_BOTTOM_LEFT);
    EXPECT_EQ(zone_at(1149, 649), ELEMENT_CORNER_BOTTOM_RIGHT);
    // The centre lies at 770 + 190, so the right reach ends one pixel later.
    EXPECT_EQ(zone_at(1160, 659), ELEMENT_CORNER_BOTTOM_RIGHT);
    EXPECT_EQ(zone_at(1161, 659), ELEMENT_NONE);
    EXPECT_EQ(zone_at(780, 428), ELEMENT_CORNER_TOP_LEFT);
    EXPECT_EQ(zone_at(781, 428), ELEMENT_EDGE_TOP);

    // A candidate beyond the large metric is nothing, even inside the edge
    // band's depth (here made deeper than the corner reach).
    reset_app();
    app.frame_metric_large = 11;
    app.frame_metric_small = 20;
    app.region_x0 = 100;
    app.region_y0 = 100;
    app.region_x1 = 199;
    app.region_y1 = 199;
    update_zone_sizes(); // hw = hh = 50, centre (150, 150)
    EXPECT_EQ(zone_at(150 - 45, 150 - 65), ELEMENT_NONE);
    EXPECT_EQ(zone_at(150 - 45, 150 - 60), ELEMENT_CORNER_TOP_LEFT);
    EXPECT_EQ(zone_at(150 - 38, 150 - 65), ELEMENT_EDGE_TOP);
}

TEST(HitTest, DiagonalTieGoesToTheHorizontalEdge) {
    reset_app();
    app.frame_metric_large = 11;
    app.frame_metric_small = 6;
    app.region_x0 = 100;
    app.region_y0 = 100;
    app.region_x1 = 399;
    app.region_y1 = 199;
    update_zone_sizes(); // hw 150, hh 50, centre (250, 150)
    // dx = -138, dy = -46: fx = fy = -0.92, outside the corner candidate.
    EXPECT_EQ(zone_at(250 - 138, 150 - 46), ELEMENT_EDGE_TOP);
    EXPECT_EQ(zone_at(250 + 138, 150 + 46), ELEMENT_EDGE_BOTTOM);
    // One step nearer the side, the vertical edge wins (and is too far away).
    EXPECT_EQ(zone_at(250 - 139, 150 - 46), ELEMENT_NONE);
}

TEST(HitTest, ZoneSizesFollowTheRegion) {
    reset_app();
    app.frame_metric_large = 11;
    app.frame_metric_small = 6;
    app.region_x0 = 199; // corners in either order
    app.region_y0 = 50;
    app.region_x1 = 100;
    app.region_y1 = 149;
    update_zone_sizes();
    EXPECT_EQ(app.region_x, 100);
    EXPECT_EQ(app.region_y, 50);
    EXPECT_EQ(app.region_w, 100);
    EXPECT_EQ(app.region_h, 100);
    EXPECT_EQ(app.corner_inner_w, 11);
    EXPECT_EQ(app.corner_inner_h, 11);
    EXPECT_EQ(app.edge_inner_w, 6);
    EXPECT_EQ(app.edge_inner_h, 6);

    app.region_x0 = 0;
    app.region_x1 = 9;
    app.region_y0 = 0;
    app.region_y1 = 9;
    update_zone_sizes();
    EXPECT_EQ(app.corner_inner_w, 3);
    EXPECT_EQ(app.edge_inner_w, 5);
    EXPECT_EQ(app.corner_inner_h, 3);
    EXPECT_EQ(app.edge_inner_h, 5);

    app.region_x1 = 0; // one pixel: zero half-sizes still classify
    app.region_y1 = 0;
    update_zone_sizes();
    EXPECT_EQ(app.region_w, 1);
    EXPECT_EQ(app.corner_inner_w, 0);
    EXPECT_EQ(zone_at(0, -3), ELEMENT_EDGE_TOP);

    // Corners from a corrupt state file saturate instead of overflowing.
    app.region_x0 = INT32_MIN;
    app.region_x1 = INT32_MAX;
    update_zone_sizes();
    EXPECT_EQ(app.region_w, INT32_MAX);
    zone_at(INT32_MAX, INT32_MIN);
}

TEST(HitTest, CursorShapes) {
    EXPECT_EQ(cursor_for_element(ELEMENT_NONE), -1);
    EXPECT_EQ(cursor_for_element(ELEMENT_EDGE_TOP), OS_CURSOR_RESIZE_NS);
    EXPECT_EQ(cursor_for_element(ELEMENT_EDGE_BOTTOM), OS_CURSOR_RESIZE_NS);
    EXPECT_EQ(cursor_for_element(ELEMENT_EDGE_LEFT), OS_CURSOR_RESIZE_WE);
    EXPECT_EQ(cursor_for_element(ELEMENT_EDGE_RIGHT), OS_CURSOR_RESIZE_WE);
    EXPECT_EQ(cursor_for_element(ELEMENT_CORNER_TOP_LEFT), OS_CURSOR_RESIZE_NWSE);
    EXPECT_EQ(cursor_for_element(ELEMENT_CORNER_BOTTOM_RIGHT), OS_CURSOR_RESIZE_NWSE);
    EXPECT_EQ(cursor_for_element(ELEMENT_CORNER_TOP_RIGHT), OS_CURSOR_RESIZE_NESW);
    EXPECT_EQ(cursor_for_element(ELEMENT_CORNER_BOTTOM_LEFT), OS_CURSOR_RESIZE_NESW);
    EXPECT_EQ(cursor_for_element(ELEMENT_PANEL), OS_CURSOR_ARROW);
    EXPECT_EQ(cursor_for_element(ELEMENT_MOVE_REGION), OS_CURSOR_MOVE);
    for (ElementId id : {9u, 10u, 12u, 19u, 23u, 26u, 27u, 1000u})
        EXPECT_EQ(cursor_for_element(id), OS_CURSOR_HAND) << id;
}
