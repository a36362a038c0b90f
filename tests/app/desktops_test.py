#!/usr/bin/python3
"""Vornby on other desktops than a plain X11 one. The control window under
tiling window managers keeps its own size and place: under i3 on X11 (started
here, on the display of scripts/with-display) and under sway's XWayland
(inside scripts/with-wayland). Under sway the picture is read from the
compositor itself, where a shaped X window would show black: nothing of
Vornby's may cover the region. And under sway a recording goes through the
desktop portal: the region's picture exactly, and what the user meets when
the desktop says no.

usage: desktops_test.py RUN_DIR i3|sway [CAPTURE_RECORD]
  VORNBY_SCREENSHOT=FILE keeps the screen's picture for a person to look at.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import recorder_test as rt
from recorder_test import PANEL, PANEL_TITLE, RED, Recorder, wait_until

MODE = CAPTURE_RECORD = None
PANEL_SIZE = (587, 61)
X0, Y0, X1, Y1 = rt.REGION
SWAY_BACKGROUND = (0x20, 0x60, 0xA0)


def placed(window):
    """The window's client rectangle on the root, frames of the manager aside."""
    g = window.get_geometry()
    t = window.translate_coords(rt.root, 0, 0)
    return (-t.x, -t.y, g.width, g.height)


def screen(folder):
    """The whole screen as rows of RGB tuples, and its PNG."""
    png = os.path.join(folder, "screen.png")
    if MODE == "sway":
        subprocess.run([CAPTURE_RECORD, "0", "0", "1920", "1080", "0", "0", png], check=True, timeout=60,
                       stdin=subprocess.DEVNULL)
    else:
        subprocess.run(["import", "-window", "root", png], check=True, timeout=60)
    # (ffmpeg makes its standard input non-blocking, which would reach our output through a shared terminal)
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", png, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                         capture_output=True, check=True, stdin=subprocess.DEVNULL).stdout
    if os.environ.get("VORNBY_SCREENSHOT"):
        shutil.copy(png, os.environ["VORNBY_SCREENSHOT"])
    return lambda x, y: tuple(raw[(y * 1920 + x) * 3:(y * 1920 + x) * 3 + 3])


class Tiling(unittest.TestCase):
    def test_the_panel_keeps_its_size_and_place(self):
        folder = tempfile.mkdtemp(prefix="vornby-tiling-")
        self.addCleanup(shutil.rmtree, folder, True)
        if MODE == "i3":
            config = os.path.join(folder, "i3.config")
            with open(config, "w") as f:
                f.write("focus_follows_mouse no\n")
            wm = subprocess.Popen(["i3", "-c", config], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.addCleanup(rt.end_processes, [wm.pid])
            atom = rt.xd.intern_atom("_NET_SUPPORTING_WM_CHECK")
            wait_until(lambda: rt.root.get_full_property(atom, 0), 20, "i3 to manage the screen")
        run = Recorder(self)
        panel = wait_until(lambda: rt.window_named(PANEL_TITLE), 20, "the panel")
        expected = PANEL + PANEL_SIZE
        wait_until(lambda: placed(panel) == expected, 20, "the panel at %s (is %s)" % (expected, placed(panel)))

        # What the user sees: the panel drawn there, and under sway the
        # region's inside untouched and its guides dashed.
        def looks_right():
            at = screen(folder)
            if at(*PANEL) != RED or at(PANEL[0] + 586, PANEL[1] + 20) != RED:
                return False
            if MODE != "sway":
                return True
            inside = {at(x, y) for x in range(X0, X1 + 1, 7) for y in range(Y0, Y1 + 1, 7)}
            guide = {at(x, Y0 - 1) for x in range(0, 1920)}
            # The panel as the compositor shows it is the window's own picture,
            # but for the right guide's column: wlroots stacks override-redirect
            # windows by their last resize and ignores raising them.
            own = panel.get_image(0, 0, PANEL_SIZE[0], PANEL_SIZE[1], rt.X.ZPixmap, 0xFFFFFFFF).data
            shown = all(at(PANEL[0] + i % PANEL_SIZE[0], PANEL[1] + i // PANEL_SIZE[0]) ==
                        (own[i * 4 + 2], own[i * 4 + 1], own[i * 4]) for i in range(PANEL_SIZE[0] * PANEL_SIZE[1])
                        if PANEL[0] + i % PANEL_SIZE[0] != X1 + 1)
            return inside == {SWAY_BACKGROUND} and guide == {rt.WHITE, rt.BLACK} and shown

        wait_until(looks_right, 30, "the panel, region and guides on the screen")
        self.assertEqual(placed(panel), expected, "the panel stayed")
        run.stop()


class WaylandRecording(unittest.TestCase):
    def start(self, x0, y0, x1, y1, env=None):
        run = Recorder(self, env=env, state=rt.state_bytes(x0, y0, x1, y1, style=1, delay=0))
        wait_until(lambda: rt.window_named(PANEL_TITLE), 20, "the panel")
        self.assertEqual(run.second_start("--toggle")[0], 0)
        return run

    def test_records_the_region_exactly_and_says_why_it_cannot(self):
        x0, y0, x1, y1 = 200, 150, 519, 389  # 320 x 240
        expected, paint = rt.show_pattern(self, x0, y0, 320, 240)
        run = self.start(x0, y0, x1, y1)
        # The desktop sends a picture only when something is drawn: the
        # pattern, painted again as it is, until the recording has frames.
        output = os.path.join(run.folder, "output")
        wait_until(lambda: paint() or "-f rawvideo -pix_fmt bgr0 -video_size 320x240" in run.stdout(), 30,
                   "the encoder on the desktop's frames")
        wait_until(lambda: paint() or sum(os.path.getsize(os.path.join(output, n)) for n in os.listdir(output)) > 100000,
                   30, "frames in the recording")
        run.second_start("--toggle")
        wait_until(lambda: "panel: Saved " in run.log(), 60, "the finished recording")
        video = os.path.join(output, [n for n in os.listdir(output) if n.endswith(".mp4")][0])
        self.assertTrue(rt.frame_rgb(video, 5) == expected, "the decoded frame differs from the picture under the region")
        self.assertTrue(os.path.exists(os.path.join(run.folder, "_vornby.screen-token")), "the desktop's permission")
        run.stop()

        # Declined in the desktop's dialog (a new folder: no permission kept),
        # and no screen sharing on the desktop at all.
        decline = os.path.join(os.environ["VORNBY_RIG"], "decline")
        open(decline, "w").close()
        self.addCleanup(os.remove, decline)
        for env, said in ((None, "panel: Screen sharing was declined"),
                          ({"DBUS_SESSION_BUS_ADDRESS": "unix:path=/nonexistent/bus"},
                           "panel: This desktop offers no screen sharing")):
            run = self.start(x0, y0, x1, y1, env)
            wait_until(lambda: said in run.log(), 30, said)
            wait_until(lambda: os.listdir(os.path.join(run.folder, "output")) == [], 10, "no file left")
            run.stop()


if __name__ == "__main__":
    rt.RUN_DIR, MODE = sys.argv[1], sys.argv[2]
    CAPTURE_RECORD = sys.argv[3] if len(sys.argv) > 3 else None
    cases = [Tiling] + ([WaylandRecording] if MODE == "sway" else [])
    suite = unittest.TestSuite(unittest.TestLoader().loadTestsFromTestCase(case) for case in cases)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)
