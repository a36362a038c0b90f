#!/usr/bin/python3
"""Black-box tests on two monitors: Xorg with the dummy driver, two 1920x1080
RandR monitors side by side (scripts/with-display --monitors right|left), the
real program and the real ffmpeg.

usage: scripts/with-display --monitors right|left monitors_test.py RUN_DIR right|left
"""
import os
import subprocess
import sys
import unittest

import recorder_test as rt
from recorder_test import Recorder, geometry, press, state_bytes, wait_until, window_named

SIDE = None
W, H = 380, 220  # the default region's size on 1920 x 1080


def top_guide():
    return geometry(window_named("Vornby Top"))


def wait_top_guide(expected):
    wait_until(lambda: top_guide() == expected, 20, "the top guide at %s (is %s)" % (expected, top_guide()))


def move_region(panel, dx):
    """Drags the panel's move handle by dx; the panel follows the region."""
    hx, hy = rt.panel_button("move")
    x, y = panel[0] + hx, panel[1] + hy
    rt.drag(x, y, x + dx, y, (x - 10, y - 10, 21, 21))


class TwoMonitors(unittest.TestCase):
    def record_exactly(self, run, panel, x, y):
        """Records the region at (x, y) over a known picture and compares a decoded frame with it."""
        expected = rt.show_pattern(self, x, y, W, H)[0]
        wait_until(lambda: rt.screen_rgb(x, y, W, H) == expected, 10, "the pattern on screen")
        run.record_and_stop(panel, 2)
        # Finished in the background: then the working file is gone.
        wait_until(lambda: "panel: Saved " in run.log(), 20, "the finished recording")
        videos = os.listdir(os.path.join(run.folder, "output"))
        self.assertEqual(len(videos), 1, videos)
        frame = rt.frame_rgb(os.path.join(run.folder, "output", videos[0]), 10)
        self.assertTrue(frame == expected, "decoded frame differs from the screen")

    def saved_region(self, run):
        press("close", self.panel)
        self.assertEqual(run.wait_exit(), 0)
        return run.read("_vornby.state")[1:17]

    def test_second_monitor_right(self):
        if SIDE != "right":
            self.skipTest("layout right")
        run = Recorder(self)
        self.panel = (780, 661)
        run.wait_panel(self.panel)
        wait_top_guide((0, 429, 1920, 1))
        # Onto the second monitor: the guides span it alone, the panel sits below the region there.
        move_region(self.panel, 1920)
        self.panel = (2700, 661)
        run.wait_panel(self.panel)
        wait_top_guide((1920, 429, 1920, 1))
        self.assertEqual(geometry(window_named("Vornby Left")), (2689, 0, 1, 1080))
        self.record_exactly(run, self.panel, 2690, 430)
        # Near the right edge the panel is pulled back wholly onto the monitor.
        move_region(self.panel, 600)
        self.panel = (3840 - 587, 661)
        run.wait_panel(self.panel)
        self.assertEqual(geometry(window_named("Vornby Left")), (3289, 0, 1, 1080))
        # The second monitor switched off: the region comes back onto the main one, size kept.
        self.addCleanup(subprocess.run, ["xrandr", "--output", "DUMMY1", "--mode", "1920x1080",
                                         "--right-of", "DUMMY0"])
        subprocess.run(["xrandr", "--output", "DUMMY1", "--off"], check=True)
        self.panel = (1920 - 587, 661)
        run.wait_panel(self.panel)
        wait_top_guide((0, 429, 1920, 1))
        self.assertEqual(self.saved_region(run), state_bytes(1920 - W, 430, 1919, 649)[1:17])

    def test_second_monitor_left(self):
        if SIDE != "left":
            self.skipTest("layout left")
        # A saved region off every monitor falls back to the default on the main monitor, which starts at x = 1920.
        run = Recorder(self, state=state_bytes(5000, 100, 5379, 319, delay=0))
        self.panel = (2700, 661)
        run.wait_panel(self.panel)
        wait_top_guide((1920, 429, 1920, 1))
        self.assertEqual(geometry(window_named("Vornby Left")), (2689, 0, 1, 1080))
        move_region(self.panel, -1920)
        self.panel = (780, 661)
        run.wait_panel(self.panel)
        wait_top_guide((0, 429, 1920, 1))
        self.record_exactly(run, self.panel, 770, 430)
        self.assertEqual(self.saved_region(run), state_bytes(770, 430, 1149, 649)[1:17])


if __name__ == "__main__":
    rt.RUN_DIR, SIDE = sys.argv[1], sys.argv[2]
    result = unittest.TextTestRunner(verbosity=2).run(unittest.TestLoader().loadTestsFromTestCase(TwoMonitors))
    sys.exit(0 if result.wasSuccessful() else 1)
