// The region, guides and panel on a desktop of several monitors: a main
// monitor at the origin, a smaller one right of it and one left of it at
// negative x, as Windows places a monitor left of the primary.
#include <gtest/gtest.h>
#include <vector>

#include "recorder/app.h"
#include "recorder/region.h"
#include "ui/desktop.h"
#include "ui/frame.h"
#include "ui/panel.h"
#include "unit/app_region.h"

static void three_monitors(void) {
    app.screen_width = 1920;
    app.screen_height = 1080;
    app.monitor_count = 3;
    app.monitors[0] = OsRect{0, 0, 1920, 1080};
    app.monitors[1] = OsRect{1920, 0, 1280, 1024};
    app.monitors[2] = OsRect{-1920, 0, 1920, 1080};
}

#define EXPECT_CORNERS(x0, y0, x1, y1)                                                   \
    EXPECT_EQ((std::vector<i32>{app.region_x0, app.region_y0, app.region_x1, app.region_y1}), \
              (std::vector<i32>{x0, y0, x1, y1}))

class Desktop : public ::testing::Test {
protected:
    void SetUp() override { three_monitors(); }
    void TearDown() override { app.monitor_count = 0; }
};

TEST_F(Desktop, ClampsCornersIntoTheUnionOfMonitors) {
    // Each corner goes to the nearest monitor pixel: off the left monitor's
    // left edge, into the corner below the smaller right monitor, past the right end.
    set_region(-5000, 500, 3000, 1070);
    region_clamp();
    EXPECT_CORNERS(-1920, 500, 3000, 1023);
    set_region(2100, -40, 9000, 2000);
    region_clamp();
    EXPECT_CORNERS(2100, 0, 3199, 1023);
    // The boundary between two monitors is no edge: a region may span them.
    set_region(-100, 100, 99, 199);
    region_clamp();
    EXPECT_CORNERS(-100, 100, 99, 199);
    EXPECT_TRUE(region_on_desktop());
    set_region(3100, 1030, 3199, 1070); // below the right monitor
    EXPECT_FALSE(region_on_desktop());
}

TEST_F(Desktop, MovesAcrossMonitorsAndOntoTheShorterOne) {
    set_region(100, 900, 299, 1079);
    region_move(-1000, 0);
    EXPECT_CORNERS(-900, 900, -701, 1079);
    region_move(-5000, 0); // stops at the desktop's left end, size kept
    EXPECT_CORNERS(-1920, 900, -1721, 1079);
    // Onto the right monitor at the bottom, which is 56 rows shorter: pulled up.
    set_region(100, 900, 299, 1079);
    region_move(2000, 0);
    EXPECT_CORNERS(2100, 844, 2299, 1023);
    // On the main monitor alone the move is the plain one.
    app.monitor_count = 1;
    set_region(1700, 100, 1919, 199);
    region_move(50, -500);
    EXPECT_CORNERS(1700, 0, 1919, 99);
}

TEST_F(Desktop, AfterALayoutChangeTheRegionComesBackOntoTheMainMonitor) {
    set_region(2500, 300, 2879, 519);
    app.monitor_count = 1; // the right monitor is gone
    region_fit_desktop();
    EXPECT_CORNERS(1540, 300, 1919, 519);
    // Larger than the main monitor: clamped there.
    app.monitor_count = 3;
    set_region(2000, 0, 3199, 1023);
    app.monitor_count = 1;
    region_fit_desktop();
    EXPECT_CORNERS(720, 0, 1919, 1023);
    // Partly still shown: only the corners are clamped.
    app.monitor_count = 3;
    set_region(1800, 100, 2099, 199);
    app.monitor_count = 1;
    region_fit_desktop();
    EXPECT_CORNERS(1800, 100, 1919, 199);
}

TEST_F(Desktop, GuidesSpanTheMonitorsTheRegionLiesOn) {
    app.frame_style = 2;
    app.frame_dash_thickness = 1;
    OsRect r[4];
    set_region(-600, 200, -301, 399);
    frame_edge_rects(&app, APP_MODE_IDLE, r);
    EXPECT_EQ(r[0].x, -1920);
    EXPECT_EQ(r[0].width, 1920);
    EXPECT_EQ(r[2].y, 0);
    EXPECT_EQ(r[2].height, 1080);
    set_region(1800, 200, 2099, 399); // across the main and the right monitor
    frame_edge_rects(&app, APP_MODE_IDLE, r);
    EXPECT_EQ(r[0].x, 0);
    EXPECT_EQ(r[0].width, 3200);
    EXPECT_EQ(r[3].height, 1080);
}

TEST_F(Desktop, PanelOnTheMonitorHoldingMostOfTheRegionAndWhollyOnIt) {
    EXPECT_EQ(desktop_monitor_holding(&app, OsRect{1800, 0, 300, 100}), 1);
    EXPECT_EQ(desktop_monitor_holding(&app, OsRect{1800, 0, 200, 100}), 0); // a tie keeps the first
    EXPECT_EQ(desktop_monitor_holding(&app, OsRect{9000, 0, 10, 10}), 0);
    i32 x, y;
    // Right third of a monitor: still below the region, but pulled left.
    panel_position(1500, 100, 300, 200, OsRect{0, 0, 1920, 1080}, &x, &y);
    EXPECT_EQ(x, 1920 - PANEL_WIDTH);
    EXPECT_EQ(y, 311);
    // Near the bottom of a monitor at negative x: above, kept inside it.
    panel_position(-500, 900, 400, 150, OsRect{-1920, 0, 1920, 1080}, &x, &y);
    EXPECT_EQ(x, -PANEL_WIDTH);
    EXPECT_EQ(y, 900 - PANEL_GAP - PANEL_HEIGHT);
    // Over the corner of a region wider than the monitor allows beside it.
    panel_position(2000, 10, 1200, 1000, OsRect{1920, 0, 1280, 1024}, &x, &y);
    EXPECT_EQ(x, 2000);
    EXPECT_EQ(y, 1010 - PANEL_HEIGHT);
}
