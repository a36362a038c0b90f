#!/usr/bin/python3
"""Black-box tests of the running recorder.

Each test copies the built program into a fresh folder, starts it on the X
display (natively, or under Wine through scripts/wine-run), drives it with
the real pointer, moved through XTest (a device) or warped (as xdotool
mousemove and remote-control tools do), and reads what a user would see: the screen,
the windows' places, its standard output, _vornby.state and output/.

usage: recorder_test.py RUN_DIR FAKE_ENCODER [--wine WINE_RUN WINEPREFIX]
"""
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

import sound
from Xlib import X, display
from Xlib.ext import xtest
from Xlib.protocol import event

RUN_DIR = FAKE_ENCODER = WINE_RUN = WINEPREFIX = None
WINE = False
WARP = False  # move the pointer by warping it instead of through XTest
PANEL_TITLE = "Vornby  |  0.9.2"
RED, YELLOW, GREEN, WHITE, BLACK = (255, 0, 0), (255, 255, 0), (0, 255, 0), (255, 255, 255), (0, 0, 0)
# Default region for 1920 x 1080 and the panel below it.
REGION = (770, 430, 1149, 649)
PANEL = (780, 661)

xd = display.Display()
root = xd.screen().root


def wait_until(condition, timeout=30.0, what="condition"):
    end = time.time() + timeout
    while time.time() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def settle():
    # The recorder polls the pointer once per frame: a press must come a few
    # frames after the move that brought the pointer there, as a hand's would.
    # Where the program shows its hover (below) the tests wait for that instead.
    time.sleep(0.6 if WINE else 0.3)


def hover(x, y, lit=None):
    """Moves the pointer and waits until the program has seen it: until the
    cell lit = (x, y, w, h) changes (a hover highlight), or the predicate lit
    holds; without either, a few frames."""
    before = screen_rgb(*lit) if isinstance(lit, tuple) else None
    pointer_to(x, y)
    if isinstance(lit, tuple):
        wait_until(lambda: screen_rgb(*lit) != before, 10, "the hover at %d, %d" % (x, y))
    elif lit:
        wait_until(lit, 10, "the hover at %d, %d" % (x, y))
    else:
        settle()


def window_named(name, under=None):
    """The window of that name anywhere below under, the root by default (a
    window manager puts it in a frame)."""
    for window in (under or root).query_tree().children:
        try:
            found = window if window.get_wm_name() == name else window_named(name, window)
        except Exception:
            continue  # gone meanwhile
        if found:
            return found
    return None


def geometry(window):
    g = window.get_geometry()
    return (g.x, g.y, g.width, g.height)


def viewable(window):
    return window.get_attributes().map_state == X.IsViewable


def pixel(x, y):
    data = root.get_image(x, y, 1, 1, X.ZPixmap, 0xFFFFFFFF).data
    return (data[2], data[1], data[0])


def screen_rgb(x, y, w, h):
    data = root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF).data
    return b"".join(bytes((data[i + 2], data[i + 1], data[i])) for i in range(0, len(data), 4))


def pointer_to(x, y):
    if WARP:
        root.warp_pointer(x, y)  # no device motion: nothing but a new position
    else:
        xtest.fake_input(xd, X.MotionNotify, x=x, y=y)
    xd.sync()


def quick_click(x, y):
    """A warp onto (x, y) and a press and release, sent together so that one
    frame sees all of them."""
    root.warp_pointer(x, y)
    xtest.fake_input(xd, X.ButtonPress, 1)
    xtest.fake_input(xd, X.ButtonRelease, 1)
    xd.sync()


held_buttons = set()
PARKED = (1919, 1079)  # a corner no test's region or panel reaches


def button(down, which=1):
    xtest.fake_input(xd, X.ButtonPress if down else X.ButtonRelease, which)
    xd.sync()
    (held_buttons.add if down else held_buttons.discard)(which)


def release_input():
    """A button left down by a failed test would hold for every later one."""
    for which in sorted(held_buttons):
        button(False, which)
    pointer_to(*PARKED)


def drag(x0, y0, x1, y1, lit=None):
    hover(x0, y0, lit)
    button(True)
    try:
        settle()
        steps = 5
        for i in range(1, steps + 1):
            pointer_to(x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
            time.sleep(0.05)
        settle()
    finally:
        button(False)
    settle()


def close_through_system(window):
    """What a window manager's close button does: WM_DELETE_WINDOW."""
    protocols = xd.intern_atom("WM_PROTOCOLS")
    delete = xd.intern_atom("WM_DELETE_WINDOW")
    message = event.ClientMessage(window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(message, event_mask=0)
    xd.sync()


def state_bytes(x0, y0, x1, y1, style=2, delay=1000, locked=0, mouse=1, audio=0, fps=30,
                panel_x=0, panel_y=0, counter=0, first=1):
    return struct.pack("<BiiiiBiBBBBiii", first, x0, y0, x1, y1, style, delay, locked, mouse, audio, fps,
                       panel_x, panel_y, counter)


def text_line(panel):
    """The panel's text line below the status outline: 'region' (white
    text), 'error' (reddish), 'done' (greenish) or 'empty'."""
    data = screen_rgb(panel[0], panel[1] + 41, 587, 20)
    red = green = grey = 0
    for i in range(0, len(data), 3):
        r, g, b = data[i], data[i + 1], data[i + 2]
        if r > g + 40 and r > b + 40:
            red += 1
        elif g > r + 40 and g > b + 40:
            green += 1
        elif r == g == b and r > 0:
            grey += 1
    if red > 20 and not grey:
        return "error"
    if green > 20 and not grey:
        return "done"
    return "region" if grey > 20 else "empty"


def wait_text_line(panel, kind):
    wait_until(lambda: text_line(panel) == kind, 60 if WINE else 20, "the text line to show " + kind)


def encoder_name():
    return "ffmpeg.exe" if WINE else "ffmpeg"


def processes_in(folder, name=None):
    """Processes whose command line names the folder (and the program name)."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmdline = f.read().replace(b"\0", b" ").decode("utf-8", "replace").replace("\\", "/")
        except OSError:
            continue
        if folder in cmdline and (name is None or name in cmdline):
            found.append(int(pid))
    return found


def alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def end_processes(pids, patience=5.0):
    """SIGTERM, then SIGKILL whatever is left: an encoder that ignores "q"
    may ignore SIGTERM too."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        for pid in pids:
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                pass
        end = time.time() + patience
        while time.time() < end and any(alive(pid) for pid in pids):
            time.sleep(0.05)


class Recorder:
    """One run of the program in its own folder."""

    def __init__(self, test, with_assets=True, state=None, config=None, encoder=None, env=None, again=None,
                 files=(), detached=False, output=None):
        """again: a run whose folder this one starts in once more; files:
        (name, bytes) written before the start; output: a folder that its
        output/ leads to."""
        self.folder = again.folder if again else tempfile.mkdtemp(prefix="vornby-app-")
        program = "vornby.exe" if WINE else "vornby"
        if not again:
            test.addCleanup(shutil.rmtree, self.folder, True)
            shutil.copy(os.path.join(RUN_DIR, program), self.folder)
        if with_assets and not again:
            for name in ("font.otf", "icons.png"):
                shutil.copy(os.path.join(RUN_DIR, name), self.folder)
            if output:
                os.symlink(output, os.path.join(self.folder, "output"))
            else:
                os.mkdir(os.path.join(self.folder, "output"))
        if state is not None:
            self.write("_vornby.state", state)
        if config is not None:
            self.write("Config.txt", config.encode())
        for name, data in files:
            self.write(name, data)
        if encoder == "fake":
            shutil.copy(FAKE_ENCODER, os.path.join(self.folder, encoder_name()))
        full_env = dict(os.environ)
        full_env.update(env or {})
        if WINE:
            full_env["VORNBY_WINEPREFIX"] = WINEPREFIX
            command = [WINE_RUN, os.path.join(self.folder, program)]
        else:
            command = [os.path.join(self.folder, program)]
        self.stdout_path = os.path.join(self.folder, "stdout.txt")
        self.out = open(self.stdout_path, "wb")
        # detached: started as a launcher may start it, with standard output
        # and error closed, and as the leader of a process group of its own
        # (a terminal's), which a test can interrupt as Ctrl+C does.
        closed = (lambda: (os.close(1), os.close(2))) if detached else None
        self.process = subprocess.Popen(command, cwd=self.folder, stdout=self.out, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL, env=full_env, start_new_session=detached,
                                        preexec_fn=closed)
        test.addCleanup(self.stop)

    def second_start(self, *args):
        """The same program started once more from its folder, as a second
        start or a desktop shortcut does: its exit code and output."""
        program = os.path.join(self.folder, "vornby.exe" if WINE else "vornby")
        command = ([WINE_RUN, program] if WINE else [program]) + list(args)
        env = dict(os.environ, VORNBY_WINEPREFIX=WINEPREFIX) if WINE else None
        done = subprocess.run(command, cwd=self.folder, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              stdin=subprocess.DEVNULL, env=env, timeout=90)
        return done.returncode, done.stdout.decode("utf-8", "replace").replace("\r\n", "\n")

    def write(self, name, data):
        with open(os.path.join(self.folder, name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(os.path.join(self.folder, name), "rb") as f:
            return f.read()

    def log(self):
        """vornby.log without the time in front of each line (checked here)."""
        lines = self.read("vornby.log").decode("utf-8", "replace").replace("\r\n", "\n").split("\n")
        for line in lines[:-1]:
            if not re.match(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ", line):
                raise AssertionError("a log line without its time: %r" % line)
        return "\n".join(line[24:] for line in lines[:-1]) + "\n"

    def wait_panel(self, at=PANEL, colour=RED):
        wait_until(lambda: (window_named(PANEL_TITLE) is not None and pixel(*at) == colour),
                   60 if WINE else 20, "the panel at %s in %s" % (at, colour))

    def record_and_stop(self, panel, seconds=0):
        press("record", panel)
        self.wait_panel(panel, GREEN)
        time.sleep(seconds)  # the recording's length, not a wait for something
        press("record", panel)
        self.wait_panel(panel, RED)

    def wait_exit(self, timeout=60):
        code = self.process.wait(timeout)
        self.out.close()
        return code

    def close(self, panel):
        """Quits through the panel's close button: the exit code."""
        press("close", panel)
        return self.wait_exit()

    def stdout(self):
        with open(self.stdout_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def stop(self):
        """Ends what this run started, by pid: the program (under Wine also
        its Windows process) and any encoder it left behind."""
        pids = ([self.process.pid] if self.process.poll() is None else []) + processes_in(self.folder)
        end_processes(pids)
        self.process.wait()
        if not self.out.closed:
            self.out.close()


def panel_button(name):
    """Centre of a panel control, relative to the panel's corner."""
    return {
        "record": (20, 20), "hidden": (58, 20), "border": (83, 20), "guides": (108, 20), "lock": (133, 20),
        "pointer": (171, 20), "audio": (197, 20), "fps-": (297, 20), "fps+": (317, 20),
        "delay-": (421, 20), "delay+": (441, 20), "folder": (476, 20), "move": (514, 20),
        "minimise": (540, 20), "close": (566, 20), "pause": (569, 51),
    }[name]


# Controls that light up under the pointer; the others show no hover.
HOVER_LIT = {"record": 33, "fps-": 19, "fps+": 19, "delay-": 19, "delay+": 19, "folder": 25, "move": 25,
             "minimise": 25, "close": 25, "pause": 19}


def press(name, panel=PANEL, reacts=True, which=1):
    """Clicks a panel control with mouse button which, as a hand does: the
    button is held until the panel shows the press took effect (reacts)."""
    dx, dy = panel_button(name)
    x, y = panel[0] + dx, panel[1] + dy
    size = HOVER_LIT.get(name)
    lit = (x - size // 2 + 2, y - size // 2 + 2, size - 4, size - 4) if size else None
    # Already lit (the pointer is there from an earlier press): nothing to wait for.
    if lit and pointer_at(x, y):
        lit = None
    hover(x, y, lit)
    strip = (panel[0], panel[1], 587, 41)
    before = screen_rgb(*strip)
    button(True, which)
    try:
        if reacts:
            wait_until(lambda: screen_rgb(*strip) != before, 60 if WINE else 20, "the panel to react to " + name)
        else:
            settle()
    finally:
        button(False, which)
    settle()


def pointer_at(x, y):
    p = root.query_pointer()
    return (p.root_x, p.root_y) == (x, y)


def zone_drag(x0, y0, x1, y1):
    """A drag that starts on a grab zone: the grab box shows the hover."""
    def grab_box_there():
        grab = window_named("Vornby grab")
        if not grab or not viewable(grab):
            return False
        gx, gy, gw, gh = geometry(grab)
        return gx <= x0 < gx + gw and gy <= y0 < gy + gh
    drag(x0, y0, x1, y1, grab_box_there)


def record_cell_while(panel, colour):
    """The record button's cell, read while the panel's outline shows colour
    (before and after, so the state cannot change between)."""
    def read():
        if pixel(*panel) != colour:
            return None
        cell = screen_rgb(panel[0] + 4, panel[1] + 4, 33, 33)
        return cell if pixel(*panel) == colour else None
    return wait_until(read, 60 if WINE else 20, "the panel in %s" % (colour,))


def icon_cells(row):
    """The record button's plain and lit look in one row of the icon sheet."""
    return [subprocess.run(["convert", os.path.join(RUN_DIR, "icons.png"), "-crop", "33x33+%d+%d" % (column, row),
                            "+repage", "-alpha", "off", "-depth", "8", "rgb:-"],
                           capture_output=True, check=True, timeout=60).stdout for column in (0, 33)]


def wait_first_frame(run):
    """A recording's length counts from the encoder's first frame, which a
    loaded machine delays: ffmpeg writes the file once it has one."""
    output = os.path.join(run.folder, "output")
    wait_until(lambda: any(os.path.getsize(os.path.join(output, name)) > 0 for name in os.listdir(output)),
               60, "the encoder's first frame")


class AppTest(unittest.TestCase):
    def setUp(self):
        self.addCleanup(release_input)

    def recording(self, seconds, x1=680, y1=520, state=None, **recorder):
        """A recording of (300, 300)-(x1, y1) at 30 fps, seconds after its
        first frame: the run, its panel and the output folder."""
        run = Recorder(self, state=state_bytes(300, 300, x1, y1, delay=0, **(state or {})), **recorder)
        panel = (310, y1 + 12)
        run.wait_panel(panel)
        press("record", panel)
        run.wait_panel(panel, GREEN)
        wait_first_frame(run)
        time.sleep(seconds)
        return run, panel, os.path.join(run.folder, "output")

    def finished(self, run, panel, timeout=60):
        """Once the stopped recording is saved, closes the program: the one
        file in the output folder."""
        wait_until(lambda: "panel: Saved " in run.log(), timeout, "the finished recording")
        self.assertEqual(run.close(panel), 0)
        videos = os.listdir(os.path.join(run.folder, "output"))
        self.assertEqual(len(videos), 1, videos)
        return os.path.join(run.folder, "output", videos[0])


class Interaction(AppTest):
    def test_first_start_without_files(self):
        run = Recorder(self, with_assets=False)
        run.wait_panel()
        # The status outline, the separators, and the guides through the
        # region's edges across the whole screen.
        for x in (0, 586, 39, 152, 216, 333, 457, 495):
            self.assertEqual(pixel(PANEL[0] + x, PANEL[1] + 20), RED, "column %d" % x)
        self.assertEqual(geometry(window_named("Vornby Top")), (0, 429, 1920, 1))
        self.assertEqual(geometry(window_named("Vornby Left")), (769, 0, 1, 1080))
        self.assertEqual([pixel(x, 429) for x in range(0, 5)], [WHITE, WHITE, BLACK, BLACK, WHITE])
        self.assertEqual(pixel(1919, 650), WHITE if (1919 // 2) % 2 == 0 else BLACK)
        press("close")
        self.assertEqual(run.wait_exit(), 0)
        self.assertEqual(run.stdout().count("faile\n"), 1)
        self.assertEqual(run.read("_vornby.state"), state_bytes(*REGION, panel_x=PANEL[0], panel_y=PANEL[1]))

    def test_values_drag_and_system_close(self):
        run = Recorder(self)
        run.wait_panel()
        before = screen_rgb(PANEL[0] + 220, PANEL[1] + 5, 110, 30)
        # Only the left button acts: a right click on Close, a middle one on Record.
        press("close", which=3, reacts=False)
        press("record", which=2, reacts=False)
        press("fps-")  # 30 -> 25, then 30, 40
        self.assertIsNone(run.process.poll())
        self.assertEqual(pixel(*PANEL), RED)
        press("fps+")
        press("fps+")
        wait_until(lambda: screen_rgb(PANEL[0] + 220, PANEL[1] + 5, 110, 30) != before, 10, "the FPS text")
        press("delay-")  # 1 -> 0, no lower, then 1, 2
        press("delay-", reacts=False)
        press("delay+")
        press("delay+")
        press("pointer")
        # The right edge by +6 with rounding 10: 386 wide snaps to 390.
        zone_drag(1151, 540, 1157, 540)
        self.assertEqual(geometry(window_named("Vornby Right")), (1160, 0, 1, 1080))
        close_through_system(window_named(PANEL_TITLE))
        self.assertEqual(run.wait_exit(), 0)
        self.assertNotIn("faile", run.stdout())
        self.assertNotIn("[[[", run.stdout())  # no recording started
        self.assertEqual(run.read("_vornby.state"),
                         state_bytes(770, 430, 1159, 649, delay=2000, mouse=0, fps=40, panel_x=780, panel_y=661))

    def test_crossed_drag_lock_and_move(self):
        run = Recorder(self, state=state_bytes(100, 100, 299, 199))
        run.wait_panel((110, 211))
        # The left edge dragged 300 px right, past the right edge: the corners
        # cross while held and are put back in order on release.
        zone_drag(99, 150, 399, 150)
        panel = (309, 211)
        run.wait_panel(panel)
        press("lock", panel)
        drag(401, 150, 451, 150)  # locked: the right edge stays
        # The move handle carries the region up until it meets the top edge,
        # where it stops with its size kept.
        x, y = panel[0] + panel_button("move")[0], panel[1] + panel_button("move")[1]
        drag(x, y, x, 0, (x - 10, y - 10, 21, 21))
        panel = (309, 111)
        run.wait_panel(panel)
        self.assertEqual(run.close(panel), 0)
        state = struct.unpack("<BiiiiBiBBBBiii", run.read("_vornby.state"))
        self.assertEqual(state[1:5], (299, 0, 400, 99))
        self.assertEqual(state[7], 1)  # locked

    def test_frame_styles_and_saved_region(self):
        run = Recorder(self, state=state_bytes(100, 200, 739, 679, panel_x=5, panel_y=5))
        panel = (110, 691)  # placed by the rule, not at the saved (5, 5)
        run.wait_panel(panel)
        top = window_named("Vornby Top")
        press("border", panel)
        wait_until(lambda: geometry(top) == (99, 199, 642, 1), 10, "the border")
        press("hidden", panel)
        wait_until(lambda: not viewable(top) or geometry(top)[2] <= 1 and geometry(top)[3] <= 1, 10, "no frame")
        press("guides", panel)
        wait_until(lambda: viewable(top) and geometry(top) == (0, 199, 1920, 1), 10, "the guides")
        self.assertEqual(run.close(panel), 0)
        self.assertEqual(run.read("_vornby.state")[26:34], struct.pack("<ii", *panel))


class InteractionWarped(Interaction):
    """The panel, drag and close cases with a warped pointer, which makes no
    device motion: the program must still see where it went."""
    test_first_start_without_files = None

    def setUp(self):
        global WARP
        super().setUp()
        WARP = True
        self.addCleanup(globals().update, WARP=False)


class Recording(AppTest):
    """With the fake encoder: the command line, stop, failures."""

    def start(self, mode="", config=None, state=None):
        env = {"FAKE_FFMPEG_MODE": mode}
        run = Recorder(self, encoder="fake", env=env, config=config,
                       state=state or state_bytes(100, 200, 739, 679, delay=0))
        run.wait_panel((110, 691))
        return run

    def test_a_second_start_leaves_the_first_alone_and_toggle_drives_it(self):
        run = self.start()
        panel = (110, 691)
        if not WINE:  # Wine keeps a minimised window on the screen
            press("minimise", panel, reacts=False)
            wait_until(lambda: not viewable(window_named(PANEL_TITLE)), 20, "the panel minimised")
        code, out = run.second_start()  # and the first one's panel comes back
        self.assertEqual(code, 0)
        self.assertIn("* NOTE * Vornby is already running\n", out)
        self.assertIsNone(run.process.poll())
        run.wait_panel(panel)
        # The first one's log was neither rotated nor written by the second.
        self.assertFalse(os.path.exists(os.path.join(run.folder, "vornby.log.1")))
        self.assertNotIn("already running", run.log())
        self.assertEqual(run.second_start("--toggle")[0], 0)
        run.wait_panel(panel, GREEN)
        run.second_start("--toggle")
        run.wait_panel(panel, RED)
        self.assertIn(b"stdin: q\n", run.read("fake_ffmpeg.log"))
        code, out = run.second_start("--version")
        self.assertEqual((code, out.split("\n")[-2]), (0, "vornby 0.9.2"))
        code, out = run.second_start("--record")
        self.assertEqual(code, 2)
        self.assertIn("--toggle", out)
        self.assertIn("--pause", out)
        self.assertEqual(run.close(panel), 0)

    def test_quit_gives_a_busy_encoder_30_s_then_stops_it(self):
        if WINE:
            self.skipTest("the same code path as natively; 30 s more under Wine")
        run = self.start("endless")  # prints for ever after "q"
        panel = (110, 691)
        press("record", panel)
        run.wait_panel(panel, GREEN)
        press("close", panel, reacts=False)  # the panel is gone once it has quit
        self.assertEqual(run.wait_exit(90), 0)
        self.assertIn("* WARNING * The encoder was still busy 30 s after it was asked to finish", run.stdout())
        self.assertEqual(processes_in(run.folder, encoder_name()), [])

    def test_command_line_and_a_single_stop(self):
        run = self.start("ignore_q")
        panel = (110, 691)
        press("record", panel)
        run.wait_panel(panel, GREEN)
        press("record", panel, reacts=False)
        press("record", panel, reacts=False)  # a second stop writes nothing more
        wait_until(lambda: b"stdin: q" in run.read("fake_ffmpeg.log"), 20, "the stop request")
        press("close", panel)
        self.assertEqual(run.wait_exit(90), 0)
        out = run.stdout()
        folder = run.folder if not WINE else "Z:" + run.folder
        encoder = '"%s/%s"' % (folder, encoder_name())
        stem = time.strftime("%Y-%m-%d") + " 0"
        fragments = ("-r 30 -c:v libx264rgb -preset ultrafast -qp 0 "
                     "-movflags +frag_keyframe+empty_moov+default_base_moof -frag_duration 1000000 -flush_packets 1 "
                     '"%s/output/%s.recording.mp4"' % (folder, stem))
        if WINE:
            expected = ('%s -y -f gdigrab -framerate 30 -offset_x 100 -offset_y 200 -video_size 640x480 '
                        '-draw_mouse 1 -i desktop %s' % (encoder, fragments))
        else:
            expected = ('%s -y -f x11grab -framerate 30 -video_size 640x480 -draw_mouse 1 -i %s+100,200 %s'
                        % (encoder, os.environ["DISPLAY"], fragments))
        # Killed after the stop, its working file is finished all the same:
        # copied into an ordinary MP4, read back, moved to its name.
        flags = "%s -hide_banner -nostdin -nostats -v error -progress pipe:1" % encoder
        remux = ('%s -y -i "%s/output/%s.recording.mp4" -c copy -movflags +faststart "%s/output/%s.finishing.mp4"'
                 % (flags, folder, stem, folder, stem))
        check = '%s -i "%s/output/%s.finishing.mp4" -c copy -f null -' % (flags, folder, stem)
        out = out.replace("\\", "/")
        self.assertIn("[[[%s]]]\n" % expected, out)
        self.assertLess(out.index("[[[%s]]]\n" % remux), out.index("[[[%s]]]\n" % check))
        self.assertIn("panel: Saved %s.mp4 " % stem, run.log())
        self.assertEqual(os.listdir(os.path.join(run.folder, "output")), [stem + ".mp4"])
        self.assertEqual(run.read("fake_ffmpeg.log").count(b"stdin: q\n"), 1)
        self.assertIn("* WARNING * The encoder did not finish within 5 s", out)
        self.assertEqual(processes_in(run.folder, encoder_name()), [])
        self.assertEqual(run.read("_vornby.state")[0], 1)

    def test_pauses_make_segments_joined_into_one_file(self):
        run = self.start(config="audio_device_name = Line In\n", state=state_bytes(100, 200, 739, 679, delay=0, audio=1))
        panel = (110, 691)
        press("record", panel)
        run.wait_panel(panel, GREEN)
        press("pause", panel)
        run.wait_panel(panel, YELLOW)
        self.assertEqual(run.second_start("--pause")[0], 0)  # resumes, as the hotkey would
        run.wait_panel(panel, GREEN)
        press("record", panel)
        run.wait_panel(panel, RED)
        wait_until(lambda: "panel: Saved " in run.log(), 60 if WINE else 20, "the finished recording")
        self.assertEqual(run.close(panel), 0)
        self.assertEqual(run.second_start("--pause"), (1, "Vornby is not running: nothing to pause.\n"))
        folder = run.folder if not WINE else "Z:" + run.folder
        stem = "%s/output/%s 0" % (folder, time.strftime("%Y-%m-%d"))
        lines = [line for line in run.stdout().replace("\\", "/").splitlines() if line.startswith("[[[")]
        self.assertIn(" -filter_complex color=s=640x480:r=30,trim=end_frame=0[end];[1:v][end]concat[v] -map [v] "
                      "-map 0:a -r 30 -c:v libx264rgb ", lines[0])
        self.assertTrue(lines[0].endswith(' "%s.recording.mp4"]]]' % stem), lines[0])
        self.assertEqual(lines[1], lines[0].replace(".recording.mp4", ".recording-2.mp4"))
        self.assertEqual(lines[2], '[[["%s/%s" -hide_banner -nostdin -nostats -v error -progress pipe:1 -y -f concat '
                         '-safe 0 -i "%s.segments.txt" -c copy -movflags +faststart "%s.finishing.mp4"]]]'
                         % (folder, encoder_name(), stem, stem))
        # Each segment's picture ended first, its sound by "q" after it.
        self.assertEqual(run.read("fake_ffmpeg.log").decode().count("stdin: cconcat -1 next\nstdin: q\n"), 2)
        self.assertEqual(os.listdir(os.path.join(run.folder, "output")), [os.path.basename(stem) + ".mp4"])

    def test_audio_needs_a_device_and_the_toggle(self):
        run = self.start(config="audio_device_name = Line In (2)\n")
        panel = (110, 691)
        press("record", panel)  # audio toggle off: video only
        run.wait_panel(panel, GREEN)
        wait_text_line(panel, "region")
        press("record", panel)
        run.wait_panel(panel, RED)
        name = time.strftime("%Y-%m-%d") + " 0.mp4"
        wait_until(lambda: "panel: Saved " in run.log(), 60 if WINE else 20, "the finished recording")
        wait_text_line(panel, "done")
        self.assertRegex(run.log(), "panel: Saved %s \u2014 0\\.0 MB, 0:0\\d\n" % re.escape(name))
        press("audio", panel)
        run.record_and_stop(panel)
        self.assertEqual(run.close(panel), 0)
        lines = [line for line in run.stdout().splitlines() if line.startswith("[[[")]
        self.assertEqual(len(lines), 6)  # each recording, its remux and its check
        lines = [line for line in lines if "grab -framerate" in line]
        self.assertEqual(len(lines), 2)
        audio = '-f dshow -i audio="Line In (2)" -f gdigrab' if WINE else '-f pulse -i "Line In (2)" -f x11grab'
        self.assertNotIn(audio, lines[0])
        self.assertIn(audio, lines[1])
        self.assertIn("-c:a libopus -b:a 320k", lines[1])
        self.assertTrue(lines[1].endswith(' 1.recording.mp4"]]]'), lines[1])

    def test_failing_encoder_is_reported(self):
        run = self.start("fail")
        panel = (110, 691)
        log = os.path.join(run.folder, "fake_ffmpeg.log")
        for runs in (1, 2):  # each report holds its own recording's output only
            press("record", panel, reacts=False)  # green only for a frame or two
            wait_until(lambda: os.path.exists(log) and run.read("fake_ffmpeg.log").count(b"\n") == runs, 20,
                       "the encoder to run")
            run.wait_panel(panel, RED)
            wait_text_line(panel, "error")
        self.assertIn("panel: Recording failed: fake encoder: cannot open the capture device (run 2)\n", run.log())
        self.assertEqual(run.close(panel), 0)
        reports = run.stdout().replace("\r\n", "\n").split(
            "* ERROR * The encoder ended with exit code 3; its last output follows.\n")
        self.assertEqual(len(reports), 3)
        for runs, report in ((1, reports[1]), (2, reports[2])):
            line = "fake encoder: cannot open the capture device (run %d)" % runs
            self.assertTrue(report.startswith(line + "\n"), report)
            self.assertEqual([l for l in report.split("[[[")[0].splitlines() if l.startswith("fake")], [line])
        # The log is standard output line for line, nothing lost or changed.
        printed = [line for line in run.log().split("\n") if not line.startswith("panel: ")]
        self.assertEqual("\n".join(printed), run.stdout().replace("\r\n", "\n"))

    def test_hostile_settings_neither_crash_nor_hang(self):
        # A dash thickness of -1 (65535 once stored) made frame windows of
        # gigabytes; it is drawn at the 64-pixel limit. The saved region ends
        # one pixel past the desktop's right edge: the default comes instead.
        run = Recorder(self, config="frame_dash_thickness = -1\nframe_dash_length = 0\n",
                       state=state_bytes(100, 200, 1920, 679, style=1))
        x0, y0, x1, y1 = REGION
        wait_until(lambda: window_named("Vornby Top") and
                   geometry(window_named("Vornby Top")) == (x0 - 64, y0 - 64, x1 - x0 + 1 + 128, 64),
                   60 if WINE else 20, "the thick frame around the default region")
        close_through_system(window_named("Vornby Top"))
        self.assertEqual(run.wait_exit(), 0)

        # A template whose tag expands to nothing names every attempt alike:
        # the second recording used to loop for ever. A folder of the default
        # name is skipped, the device's backslash cannot free the output path
        # from its quotes, and state values no panel could set are mended.
        config = "output_file_name = clip <<incremental>\naudio_device_name = Mic\\\n"
        run = self.start(config=config, state=state_bytes(100, 200, 739, 679, delay=-5, fps=7, audio=1, counter=-3))
        stem = time.strftime("%Y-%m-%d")
        os.mkdir(os.path.join(run.folder, "output", stem + " 0.mp4"))
        # A link where the write check once put its probe: its target is kept.
        run.write("precious", b"keep")
        os.symlink(os.path.join(run.folder, "precious"), os.path.join(run.folder, "output", ".vornby-write-test"))
        panel = (110, 691)
        for _ in range(2):
            run.record_and_stop(panel)
        self.assertEqual(run.close(panel), 0)
        self.assertEqual(sorted(os.listdir(os.path.join(run.folder, "output"))),
                         sorted(["clip .mp4", stem + " 0.mp4", stem + " 1.mp4", ".vornby-write-test"]))
        self.assertEqual(run.read("precious"), b"keep")
        log = run.read("fake_ffmpeg.log").decode().replace("\\", "/")
        if WINE:  # the raw command line: the backslash doubled before the closing quote
            self.assertEqual(log.count('-i audio="Mic//" -f gdigrab -framerate 8 '), 2, log)
        else:  # the split arguments: the device with its backslash, the path whole
            self.assertEqual(log.count(" -i Mic/ -f x11grab -framerate 8 "), 2, log)
        self.assertIn('output/%s 1.recording.mp4"\n' % stem, log.replace("Z:", ""))
        state = run.read("_vornby.state")
        self.assertEqual(struct.unpack("<i", state[18:22])[0], 0)  # delay
        self.assertEqual(state[25], 8)  # fps: the nearest choice
        self.assertEqual(struct.unpack("<i", state[34:38])[0], 1)  # counter: from 0, past the taken name

    def test_share_copy_command_and_quitting_while_it_runs(self):
        # The first conversion fails after writing part of its copy: nothing
        # broken is left beside the recording. The second never ends by
        # itself (it waits on its input), so it is still running when the
        # program quits. An older copy holds its first name; it is the
        # user's and stays.
        run = self.start("first_copy_fails",
                         config="share_copy = mp4\nshare_copy_max_width = 1280\nrecord_hotkey = Ctrl+Alt+R\n")
        day = time.strftime("%Y-%m-%d")
        older = "output/%s 1.share.mp4" % day
        run.write(older, b"older copy")
        panel = (110, 691)
        run.record_and_stop(panel)
        wait_until(lambda: "panel: The share copy %s 0.share.mp4 failed (exit code 1): fake converter: no room left "
                   "for the copy; nothing was kept.\n" % day in run.log(), 30, "the failed copy")
        self.assertNotIn(day + " 0.share.mp4", os.listdir(os.path.join(run.folder, "output")))
        run.record_and_stop(panel)
        folder = run.folder if not WINE else "Z:" + run.folder
        stem = "%s/output/%s 1" % (folder, day)
        name = os.path.basename(stem) + ".share (2).mp4"
        wait_until(lambda: os.path.exists(os.path.join(run.folder, "output", name)), 30, "the conversion to start")
        # The progress on the panel's line, after the recording's confirmation
        # so both are seen: redrawn when the converter reports.
        saved = "panel: Saved %s.mp4 \u2014 0.0 MB, 0:0\\d \u00b7 share copy " % re.escape(os.path.basename(stem))
        wait_until(lambda: re.search(saved + "0%\n", run.log()), 30, "the progress at 0 %")
        wait_text_line(panel, "done")
        at_start = screen_rgb(panel[0], panel[1] + 41, 587, 20)
        run.write("progress_go", b"")
        wait_until(lambda: re.search(saved + "99%\n", run.log()), 30, "the progress at 99 %")
        wait_until(lambda: text_line(panel) == "done" and screen_rgb(panel[0], panel[1] + 41, 587, 20) != at_start,
                   30, "the line to show the new progress")
        expected = ('"%s/%s" -hide_banner -nostdin -nostats -v error -progress pipe:1 -y -i "%s.mp4" '
                    '-vf scale=trunc(min(1280\\,iw)/2)*2:-2 -c:v libx264 -preset medium -crf 20 -pix_fmt yuv420p '
                    '-c:a aac -b:a 160k -movflags +faststart "%s.share (2).mp4"' % (folder, encoder_name(), stem, stem))
        press("close", panel)
        self.assertEqual(run.wait_exit(90), 0)
        # Read after the exit: under Wine the output arrives only then.
        out = run.stdout().replace("\\", "/").replace("/,", "\\,")
        self.assertIn("[[[%s]]]\n" % expected, out)
        self.assertIn("Hotkey Ctrl+Alt+R starts and stops recording.", out)
        self.assertEqual(processes_in(run.folder), [])
        self.assertEqual(sorted(os.listdir(os.path.join(run.folder, "output"))),
                         [day + " 0.mp4", os.path.basename(stem) + ".mp4", os.path.basename(older)])
        self.assertEqual(run.read(older), b"older copy")
        self.assertEqual(run.read("output/" + os.path.basename(stem) + ".mp4"), b"fake mp4")
        self.assertIn("was stopped at exit and removed", run.stdout())

    def test_quitting_waits_while_the_encoder_still_writes(self):
        # Finishing the file takes 7 s without a word: longer than the quit's
        # 5 s of silence, but the file grows, and a killed one would be cut.
        run = self.start("grow_after_q")
        panel = (110, 691)
        press("record", panel)
        run.wait_panel(panel, GREEN)
        press("close", panel)
        self.assertEqual(run.wait_exit(60), 0)
        self.assertTrue(run.read("output/%s 0.mp4" % time.strftime("%Y-%m-%d")).endswith(b"whole"))
        self.assertNotIn("did not finish", run.stdout())

    def test_quick_clicks_act_in_every_state(self):
        # Each click lands with the pointer warped onto its control in the
        # same frame, so no earlier frame saw the pointer there either.
        run = self.start(state=state_bytes(100, 200, 739, 679, delay=5000))
        panel = (110, 691)

        def quick(name):
            quick_click(panel[0] + panel_button(name)[0], panel[1] + panel_button(name)[1])

        pointer_to(1500, 100)
        fps_text = (panel[0] + 220, panel[1] + 5, 60, 30)
        before = screen_rgb(*fps_text)
        quick("fps+")
        wait_until(lambda: screen_rgb(*fps_text) != before, 60 if WINE else 20, "the FPS text")
        quick("record")
        run.wait_panel(panel, YELLOW)
        quick("record")  # cancels the countdown before it ends
        run.wait_panel(panel, RED)
        self.assertFalse(os.path.exists(os.path.join(run.folder, "fake_ffmpeg.log")))
        pointer_to(1500, 100)
        quick("record")
        run.wait_panel(panel, GREEN)
        quick("record")
        run.wait_panel(panel, RED)
        self.assertIn(b"stdin: q\n", run.read("fake_ffmpeg.log"))
        pointer_to(1500, 100)
        quick("close")
        self.assertEqual(run.wait_exit(), 0)
        self.assertEqual(run.read("_vornby.state")[25], 40)  # fps

    def test_missing_encoder(self):
        empty = tempfile.mkdtemp(prefix="vornby-path-")
        self.addCleanup(shutil.rmtree, empty, True)
        # Beside it a file of the encoder's name that cannot run, which is no encoder.
        run = Recorder(self, state=state_bytes(100, 200, 739, 679, delay=0),
                       files=() if WINE else [("ffmpeg", b"not a program")],
                       env={"PATH": empty + ":/usr/bin:/bin"} if WINE else {"PATH": empty})
        panel = (110, 691)
        run.wait_panel(panel)
        # Said at start-up, before record is pressed; a press elsewhere on
        # the panel brings the region back.
        wait_text_line(panel, "error")
        where = "No %s beside vornby%s or on PATH: " % (encoder_name(), ".exe" if WINE else "")
        self.assertIn("panel: " + where, run.log())
        press("hidden", panel)
        wait_text_line(panel, "region")
        press("record", panel, reacts=False)  # the start fails: idle again, with the message
        wait_text_line(panel, "error")
        self.assertEqual(pixel(panel[0], panel[1] + 20), RED)
        self.assertEqual(run.close(panel), 0)
        out = run.stdout()
        self.assertIn("* NOTE * Error starting process!, 2 (ERROR_FILE_NOT_FOUND)\n", out)
        self.assertIn("* command: (ffmpeg -y ", out)
        log = run.log()
        self.assertIn("* NOTE * Error starting process!, 2 (ERROR_FILE_NOT_FOUND)\n", log)
        self.assertEqual(log.count("panel: " + where), 2)


def show_pattern(test, x, y, w, h):
    """A window of a known picture at (x, y), under the recorder's windows, as
    what a user records lies: any of them inside the region would cover it.
    The picture's RGB bytes, and a function that paints it again (a Wayland
    desktop sends a picture only when something was drawn)."""
    window = root.create_window(x, y, w, h, 0, xd.screen().root_depth, override_redirect=True, background_pixel=0)
    window.map()
    window.configure(stack_mode=X.Below)
    gc = window.create_gc()
    rows, rgb = [], bytearray()
    for j in range(h):
        row = bytearray()
        for i in range(w):
            r, g, b = (i * 7) % 256, (j * 11) % 256, ((i // 8 + j // 8) % 2) * 255
            row += bytes((b, g, r, 0))
            rgb += bytes((r, g, b))
        rows.append(bytes(row))
    xd.sync()
    wait_until(lambda: viewable(window), 10, "the pattern window")

    def paint():
        for top in range(0, h, 16):  # in strips: one request has a size limit
            window.put_image(gc, 0, top, w, min(16, h - top), X.ZPixmap, 24, 0, b"".join(rows[top:top + 16]))
        xd.sync()

    paint()
    test.addCleanup(lambda: (window.destroy(), xd.sync()))
    return bytes(rgb), paint


def probe(path, entries):
    """ffprobe's entries of the picture stream (frames counted) and the file."""
    result = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                             entries, "-of", "default=noprint_wrappers=1", path],
                            capture_output=True, text=True, check=True, timeout=120)
    return dict(line.split("=", 1) for line in result.stdout.split())


def play_tone(test, frequency, sink="speakers"):
    """A tone at a quarter of full scale on a sink of the private sound
    server, until the test ends: its process id."""
    sound.start_pulse()
    player = subprocess.Popen(["ffmpeg", "-v", "error", "-re", "-f", "lavfi", "-i",
                               "sine=frequency=%d:sample_rate=48000" % frequency, "-af", "volume=2", "-f", "pulse",
                               "-device", sink, "tone"], stdin=subprocess.DEVNULL)
    test.addCleanup(end_processes, [player.pid])
    return player.pid


def stream_lengths(path):
    """Each stream's kind and its length (a text), in the file's order."""
    return dict(line.split(",") for line in subprocess.run(
        ["ffprobe", "-v", "error", "-show_entries", "stream=codec_type,duration", "-of", "csv=p=0", path],
        capture_output=True, text=True, check=True, timeout=60).stdout.split())


def frame_rgb(video, number):
    """The recording's frame of that number, decoded to RGB bytes."""
    return subprocess.run(["ffmpeg", "-v", "error", "-i", video, "-vf", "select=eq(n\\,%d)" % number, "-frames:v",
                           "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], capture_output=True, check=True,
                          timeout=120, stdin=subprocess.DEVNULL).stdout


class RealEncoder(AppTest):
    """Linux only: the real ffmpeg records a known pattern losslessly."""

    def test_records_the_region_exactly(self):
        x0, y0, x1, y1 = 200, 150, 519, 389  # 320 x 240
        # A 3 s countdown, long enough to read the panel during it.
        run = Recorder(self, state=state_bytes(x0, y0, x1, y1, style=1, delay=3000))
        panel = (210, 401)
        run.wait_panel(panel)
        expected = show_pattern(self, x0, y0, 320, 240)[0]
        wait_until(lambda: screen_rgb(x0, y0, 320, 240) == expected, 10, "the pattern on screen")
        self.assertTrue(record_cell_while(panel, RED) in icon_cells(0), "the idle record button")
        press("record", panel)
        self.assertTrue(record_cell_while(panel, YELLOW) in icon_cells(33), "the countdown's record button")
        self.assertTrue(record_cell_while(panel, GREEN) in icon_cells(66), "the recording's record button")
        wait_first_frame(run)
        # The working file, seen beside the recordings and kept here under a
        # second name, for what ffmpeg wrote into it.
        working = os.path.join(run.folder, "working.mp4")
        os.link(os.path.join(run.folder, "output", time.strftime("%Y-%m-%d") + " 0.recording.mp4"), working)
        time.sleep(3)  # the length of the recording
        press("record", panel)
        run.wait_panel(panel, RED)
        wait_text_line(panel, "done")
        self.assertEqual(run.close(panel), 0)
        videos = os.listdir(os.path.join(run.folder, "output"))
        self.assertEqual(len(videos), 1)
        video = os.path.join(run.folder, "output", videos[0])
        # The confirmation names the file, its size and the encoder's length.
        saved = re.search("panel: Saved (.*) \u2014 (\\d+\\.\\d) MB, 0:(\\d\\d)\n", run.log())
        self.assertIsNotNone(saved, run.log())
        self.assertEqual(saved.group(1), videos[0])
        self.assertEqual(saved.group(2), "%.1f" % (os.path.getsize(video) / 1e6))
        info = probe(video, "stream=codec_name,width,height,nb_read_frames:format=duration")
        self.assertEqual((info["codec_name"], info["width"], info["height"]), ("h264", "320", "240"))
        # The recorded time is the file's: a loaded machine delays the test's
        # clock, not the encoder's timestamps.
        frames, duration = int(info["nb_read_frames"]), float(info["duration"])
        self.assertLessEqual(abs(int(saved.group(3)) - duration), 1.0)
        self.assertGreater(duration, 1.5)
        self.assertLess(abs(frames - 30 * duration), 0.15 * 30 * duration)
        frame = frame_rgb(video, 10)
        self.assertEqual(len(frame), len(expected))
        self.assertTrue(frame == expected, "decoded frame differs from the pattern under the region")
        # An ordinary MP4, index first, with the working file's frames and times.
        self.assertEqual(top_boxes(video)[:3], [b"ftyp", b"moov", b"free"])
        self.assertEqual(frame_hashes(video), frame_hashes(working))

    def test_failures_show_on_the_panel_and_in_the_log(self):
        # An output folder nobody may write to (root ignores the mode bits,
        # but not the immutable flag), then a sound device that does not exist.
        run = Recorder(self, state=state_bytes(300, 300, 619, 539, delay=0, audio=1),
                       config="audio_device_name = vornby-no-such-device\n")
        output = os.path.join(run.folder, "output")
        os.chmod(output, 0o555)
        if os.geteuid() == 0:
            if subprocess.run(["chattr", "+i", output]).returncode != 0:
                self.skipTest("no immutable flag here")
            self.addCleanup(subprocess.run, ["chattr", "-i", output])
        panel = (310, 551)
        run.wait_panel(panel)
        before = screen_rgb(panel[0], panel[1] + 41, 587, 20)
        self.assertEqual(text_line(panel), "region")
        press("record", panel, reacts=False)
        wait_text_line(panel, "error")
        self.assertNotEqual(screen_rgb(panel[0], panel[1] + 41, 587, 20), before)
        self.assertEqual(pixel(panel[0], panel[1] + 20), RED)
        log = run.log()
        self.assertIn("* ERROR * Could not write into the output folder %s\n" % output, log)
        self.assertIn("panel: Could not write into the output folder\n", log)
        self.assertNotIn("[[[", log)  # no encoder was started

        if os.geteuid() == 0:
            subprocess.run(["chattr", "-i", output], check=True)
        os.chmod(output, 0o755)
        # The message goes; ffmpeg fails on the device, and the recording goes
        # on without sound, saying why.
        press("record", panel, reacts=False)
        wait_until(lambda: "panel: Recording without sound: " in run.log(), 30, "the encoder's failure")
        run.wait_panel(panel, GREEN)
        wait_text_line(panel, "error")
        log = run.log()
        failure = re.search("panel: Recording without sound: (.*)\n", log).group(1)
        self.assertIn("* ERROR * The encoder ended with exit code", log)
        self.assertIn(failure, log.split("its last output follows.\n", 1)[1])  # its own last line
        self.assertNotIn("Conversion failed", failure)
        press("record", panel)
        self.assertEqual(list(stream_lengths(self.finished(run, panel, 30))), ["video"])

    def close_while_recording(self, how):
        run = Recorder(self, state=state_bytes(300, 300, 619, 539, delay=0), detached=how == "interrupt")
        panel = (310, 551)
        run.wait_panel(panel)
        press("record", panel)
        run.wait_panel(panel, GREEN)
        wait_first_frame(run)
        time.sleep(2)
        if how == "button":
            press("close", panel)
        elif how == "signal":
            run.process.terminate()
        elif how == "kill":
            run.process.kill()
        elif how == "interrupt":  # Ctrl+C in its terminal
            os.killpg(run.process.pid, signal.SIGINT)
        else:
            close_through_system(window_named("Vornby Bottom"))
        self.assertEqual(run.wait_exit(30), -9 if how == "kill" else 0)
        # A killed recorder takes the encoder with it, which finishes the file.
        wait_until(lambda: processes_in(run.folder, encoder_name()) == [], 30, "the encoder to end")
        self.assertEqual(len(run.read("_vornby.state")), 38)
        video = os.path.join(run.folder, "output", os.listdir(os.path.join(run.folder, "output"))[0])
        self.assertGreater(float(probe(video, "format=duration")["duration"]), 1.0)
        return run

    def assert_plays(self, output, name, at_least, shown):
        """The folder holds only the named recording, which plays that long."""
        self.assertEqual(os.listdir(output), [name])
        self.assertFalse(name.startswith("."))
        info = probe(os.path.join(output, name), "stream=nb_read_frames:format=duration")
        self.assertGreaterEqual(float(info["duration"]), at_least)
        self.assertLess(abs(int(info["nb_read_frames"]) - 30 * float(info["duration"])), 3)
        self.assertLessEqual(abs(float(info["duration"]) - shown), 1.0)

    def test_killed_encoder_keeps_what_it_recorded(self):
        # A leftover working file that cannot be read is kept and the log says where.
        unreadable = ("output/old.recording.mp4", bytes(range(256)) * 20)
        run, panel, output = self.recording(4, files=[unreadable])
        wait_until(lambda: "kept in:\n  %s/%s\n" % (run.folder, unreadable[0]) in run.log(), 30, "the leftover")
        self.assertEqual(run.read(unreadable[0]), unreadable[1])
        os.remove(os.path.join(run.folder, unreadable[0]))
        os.kill(processes_in(run.folder, encoder_name())[0], signal.SIGKILL)
        run.wait_panel(panel, RED)
        said = "panel: ffmpeg stopped unexpectedly \u2014 saved 0:(\\d\\d) as (.*)\n"
        saved = wait_until(lambda: re.search(said, run.log()), 30, "the finished recording")
        wait_text_line(panel, "error")
        self.assert_plays(output, saved.group(2), 2.5, int(saved.group(1)))
        self.assertEqual(run.close(panel), 0)

    def test_recording_of_a_power_cut_is_recovered_at_the_next_start(self):
        run, panel, output = self.recording(5)
        for pid in [run.process.pid] + processes_in(run.folder, encoder_name()):
            os.kill(pid, signal.SIGKILL)
        run.wait_exit()
        wait_until(lambda: processes_in(run.folder, encoder_name()) == [], 30, "the encoder to end")
        left = os.listdir(output)
        self.assertTrue(len(left) == 1 and left[0].endswith(".recording.mp4"), left)
        again = Recorder(self, again=run)
        recovered = wait_until(lambda: re.search("panel: Recovered (.*) \u2014 0:(\\d\\d)\n", again.log()), 30,
                               "the recovery")
        wait_text_line(panel, "done")
        self.assertEqual(recovered.group(1), left[0].replace(".recording.mp4", ".mp4"))
        self.assert_plays(output, recovered.group(1), 3.5, int(recovered.group(2)))
        self.assertEqual(again.close(panel), 0)

    def test_close_button_while_recording_keeps_a_playable_file(self):
        self.close_while_recording("button")

    def test_system_close_while_recording_keeps_a_playable_file(self):
        self.close_while_recording("system")

    def test_terminate_signal_while_recording_keeps_a_playable_file(self):
        self.close_while_recording("signal")

    def test_killed_recorder_leaves_no_encoder_and_a_playable_file(self):
        self.close_while_recording("kill")

    def test_interrupted_in_its_terminal_without_standard_output_saves_the_file(self):
        # The encoder, in a group of its own, hears nothing of the Ctrl+C:
        # the recorder stops it and says it saved the file.
        run = self.close_while_recording("interrupt")
        self.assertIn("panel: Saved ", run.log())
        self.assertNotIn("Recording failed", run.log())


def level(values, frequency):
    """A tone's level where it plays in full: the loudest 0.2 s of it (a tone
    on a loaded machine may stutter now and then)."""
    window = sound.RATE // 5
    return max(sound.tone_level(values[at:at + window], frequency) for at in range(0, len(values) - window, window))


class ComputerSound(AppTest):
    """Linux only: what the speakers play, from a private PulseAudio server."""

    @classmethod
    def setUpClass(cls):
        sound.start_pulse()

    def record_with_tones(self, config, tones, env=None):
        """Records 3 s while each (frequency, sink) plays its tone; the
        finished file and the run."""
        players = [play_tone(self, frequency, sink) for frequency, sink in tones]
        run, panel, _ = self.recording(3, 619, 539, state={"audio": 1}, config=config, env=env)
        press("record", panel)
        end_processes(players)  # the next recording hears only its own
        return run, self.finished(run, panel)

    def test_the_computers_sound_alone_or_mixed_with_a_device(self):
        # No device named: what the default output plays.
        run, video = self.record_with_tones("", [(440, "speakers")])
        self.assertIn("-i @DEFAULT_MONITOR@ ", run.stdout())
        self.assertGreater(level(sound.samples(video), 440), 0.2, "the tone on the speakers")
        # Both, mixed into one track, neither halved.
        run, video = self.record_with_tones("system_sound = yes\naudio_device_name = second.monitor\n",
                                            [(440, "speakers"), (1000, "second")])
        values = sound.samples(video)
        self.assertGreater(level(values, 440), 0.2, "the speakers' tone")
        self.assertGreater(level(values, 1000), 0.2, "the device's tone")
        self.assertEqual(sorted(stream_lengths(video)), ["audio", "video"])

    def test_without_a_sound_server_it_records_without_sound_and_says_so(self):
        run, video = self.record_with_tones("", [], env={"PULSE_SERVER": "unix:/nonexistent/native"})
        self.assertIn("panel: Recording without sound: ", run.log())
        self.assertEqual(list(stream_lengths(video)), ["video"])


def send_keys(names, down):
    from Xlib import XK
    for name in names:
        keycode = xd.keysym_to_keycode(XK.string_to_keysym(name))
        xtest.fake_input(xd, X.KeyPress if down else X.KeyRelease, keycode)
    xd.sync()


def top_boxes(path):
    """The MP4's top-level box types, in file order."""
    boxes, data = [], open(path, "rb").read()
    at = 0
    while at + 8 <= len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        boxes.append(kind)
        at += size if size >= 8 else len(data)
    return boxes


def frame_hashes(path):
    """Each decoded frame's time and hash: equal lists mean equal pictures."""
    lines = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "framemd5", "-"], capture_output=True, text=True,
                           check=True, timeout=120).stdout.splitlines()
    return [line for line in lines if not line.startswith("#")]


class HotkeyAndShareCopy(unittest.TestCase):
    """Linux only: the hotkey through XTest, the real ffmpeg converting."""

    def test_bad_hotkeys_are_reported_and_the_program_runs_on(self):
        from Xlib import XK
        # Another client holds Ctrl+Alt+T.
        keycode = xd.keysym_to_keycode(XK.string_to_keysym("t"))
        root.grab_key(keycode, X.ControlMask | X.Mod1Mask, False, X.GrabModeAsync, X.GrabModeAsync)
        xd.sync()
        self.addCleanup(lambda: (root.ungrab_key(keycode, X.ControlMask | X.Mod1Mask), xd.sync()))
        for value, said in (("Ctrl+Alt+T", "record_hotkey Ctrl+Alt+T is held by another program"),
                            ("Ctrl+Hyper+R", 'record_hotkey "Ctrl+Hyper+R" is not a key combination')):
            run = Recorder(self, config="record_hotkey = %s\n" % value, state=state_bytes(100, 200, 739, 679))
            panel = (110, 691)
            run.wait_panel(panel)
            wait_until(lambda: said in run.stdout(), 20, "the note on " + value)
            # On the panel in the failure colour, without the log's marker.
            wait_text_line(panel, "error")
            self.assertIn("panel: %s; running without it.\n" % said, run.log())
            press("fps+", panel)  # still answering
            self.assertEqual(run.close(panel), 0)

    def recorded_with_hotkey(self, config, x0, y0, x1, y1):
        """Records about 2 s, started and stopped by Ctrl+Alt+R while another
        window has the focus; the first press is held so that it repeats."""
        run = Recorder(self, config="record_hotkey = ctrl+alt+r\n" + config,
                       state=state_bytes(x0, y0, x1, y1, style=1, delay=0))
        panel = (x0 + 10, y1 + 12)
        # Away from the panel: a pointer left on a control by the last test
        # would leave nothing to wait for when the close button is hovered.
        pointer_to(1600, 900)
        run.wait_panel(panel)
        wait_until(lambda: "Hotkey ctrl+alt+r starts" in run.stdout(), 20, "the hotkey")
        other = focus_elsewhere(self)
        keys = ["Control_L", "Alt_L", "r"]
        send_keys(keys, True)
        send_keys(["r", "r"], True)  # repeats of the held key
        run.wait_panel(panel, GREEN)
        send_keys(keys, False)  # Ctrl and Alt let go before the letter
        # The encoder has written frames (a slow start would stop it before
        # its first), and a second or more has passed for the repeats.
        output = os.path.join(run.folder, "output")
        wait_until(lambda: sum(os.path.getsize(os.path.join(output, n)) for n in os.listdir(output)) > 200000,
                   60, "frames in the recording")
        time.sleep(1)
        self.assertEqual(pixel(*panel), GREEN, "a repeat stopped the recording")
        self.assertEqual(xd.get_input_focus().focus, other)
        send_keys(keys, True)
        send_keys(reversed(keys), False)
        run.wait_panel(panel, RED)
        wait_until(lambda: "Share copy ready" in run.stdout() or "* ERROR *" in run.stdout(), 60, "the copy")
        self.assertIn("panel: Share copy ready: ", run.log())
        self.assertEqual(text_line(panel), "done")
        self.assertEqual(run.close(panel), 0)
        names = os.listdir(os.path.join(run.folder, "output"))
        self.assertEqual(len(names), 2, run.stdout())
        copy = [name for name in names if not name.endswith(" 0.mp4")]
        self.assertEqual(len(copy), 1, names)
        return run, (os.path.join(run.folder, "output", copy[0]), os.path.join(run.folder, "output", names[0]
                     if names[0] != copy[0] else names[1]))

    def test_hotkey_records_and_the_mp4_copy_plays_everywhere(self):
        run, (copy, recording) = self.recorded_with_hotkey("share_copy = mp4\n", 200, 150, 520, 390)  # 321 x 241
        self.assertTrue(copy.endswith(".share.mp4") and recording.endswith(" 0.mp4"), (copy, recording))
        self.assertEqual(run.stdout().count("[[["), 4)  # the recording, its remux and check, the copy
        self.assertIn("Share copy ready: %s (" % os.path.basename(copy), run.stdout())
        source = probe(recording, "stream=width,height,nb_read_frames")
        self.assertEqual((source["width"], source["height"]), ("321", "241"))
        shared = probe(copy, "stream=codec_name,pix_fmt,width,height,nb_read_frames")
        self.assertEqual((shared["codec_name"], shared["pix_fmt"], shared["width"], shared["height"]),
                         ("h264", "yuv420p", "320", "240"))
        self.assertEqual(shared["nb_read_frames"], source["nb_read_frames"])
        self.assertGreater(int(source["nb_read_frames"]), 1)

    def test_gif_copy_is_scaled_to_the_width(self):
        run, (copy, recording) = self.recorded_with_hotkey("share_copy = gif\nshare_copy_max_width = 160\n",
                                                           200, 150, 519, 389)  # 320 x 240
        self.assertTrue(copy.endswith(".gif"), copy)
        shared = probe(copy, "stream=codec_name,width,height")
        self.assertEqual((shared["codec_name"], shared["width"], shared["height"]), ("gif", "160", "120"))


class Clock:
    """A window under the region whose colour is the time: 2 ms ticks since
    it started, red the high byte and green the low one (blue marks it), so
    that each decoded frame says when it was taken."""
    TICK = 0.002

    def __init__(self, test, x, y, w, h):
        import threading
        self.display = display.Display()  # its own connection, painted from its own thread
        self.window = self.display.screen().root.create_window(x, y, w, h, 0, self.display.screen().root_depth,
                                                               override_redirect=True, background_pixel=0)
        self.window.map()
        self.window.configure(stack_mode=X.Below)
        self.gc, self.size, self.start, self.running = self.window.create_gc(), (w, h), time.monotonic(), True
        thread = threading.Thread(target=self.paint, daemon=True)
        thread.start()
        test.addCleanup(lambda: (setattr(self, "running", False), thread.join(), self.display.close()))

    def now(self):
        return time.monotonic() - self.start

    def paint(self):
        while self.running:
            tick = int(self.now() / self.TICK) & 0xFFFF
            self.gc.change(foreground=(tick >> 8) << 16 | (tick & 0xFF) << 8 | 0x80)
            self.window.fill_rectangle(self.gc, 0, 0, *self.size)
            self.display.sync()
            time.sleep(0.001)

    def frame_times(self, video):
        """When each frame of the recording was taken, by the clock."""
        rgb = subprocess.run(["ffmpeg", "-v", "error", "-i", video, "-vf", "crop=1:1:iw/2:ih/2", "-f", "rawvideo",
                              "-pix_fmt", "rgb24", "-"], capture_output=True, check=True, timeout=120).stdout
        assert all(rgb[i + 2] == 0x80 for i in range(0, len(rgb), 3)), "a frame without the clock"
        return [(rgb[i] << 8 | rgb[i + 1]) * self.TICK for i in range(0, len(rgb), 3)]


def focus_elsewhere(test):
    """Another window takes the focus, as a user's work would."""
    other = root.create_window(1500, 50, 200, 100, 0, xd.screen().root_depth, background_pixel=0)
    other.map()
    xd.sync()
    wait_until(lambda: viewable(other), 10, "the other window")
    test.addCleanup(lambda: (other.destroy(), xd.sync()))
    other.set_input_focus(X.RevertToParent, X.CurrentTime)
    xd.sync()
    return other


def hotkey(*keys):
    send_keys(keys, True)
    send_keys(reversed(keys), False)


class Pausing(AppTest):
    """Linux only: pause and resume with the real ffmpeg."""

    def wait_segment(self, run, number):
        """The segment's encoder has written its first frame."""
        name = time.strftime("%Y-%m-%d") + " 0.recording%s.mp4" % ("-%d" % number if number > 1 else "")
        path = os.path.join(run.folder, "output", name)
        wait_until(lambda: os.path.exists(path) and os.path.getsize(path) > 0, 60, "segment %d's first frame" % number)

    def record_segments(self, count, stop, **recording):
        """count segments of 1.5 s and more, each paused by the panel, resumed
        after 1 s but the last, which is stopped while paused or left paused:
        the run, its panel and the output folder."""
        run, panel, output = self.recording(0, 619, 539, **recording)
        for segment in range(1, count + 1):
            run.wait_panel(panel, GREEN)
            self.wait_segment(run, segment)
            time.sleep(1.5)
            press("pause", panel)
            run.wait_panel(panel, YELLOW)
            time.sleep(1)
            if segment < count or stop:
                press("pause" if segment < count else "record", panel)
        if stop:
            run.wait_panel(panel, RED)
        return run, panel, output

    def clocked_run(self, config="", **state):
        """A run with the pause hotkey, a clock under its region and the
        pointer away from the panel: the run, its panel and the clock."""
        run = Recorder(self, config="pause_hotkey = ctrl+alt+p\n" + config,
                       state=state_bytes(300, 300, 619, 539, style=1, delay=0, mouse=0, **state))
        panel = (310, 551)
        pointer_to(1600, 900)
        run.wait_panel(panel)
        wait_until(lambda: "Hotkey ctrl+alt+p pauses" in run.stdout(), 20, "the pause hotkey")
        return run, panel, Clock(self, 300, 300, 320, 240)

    def test_pause_leaves_out_the_pause_and_nothing_else(self):
        run, panel, clock = self.clocked_run()
        line = (310, 592, 540, 20)
        press("record", panel)
        run.wait_panel(panel, GREEN)
        other = focus_elsewhere(self)
        self.wait_segment(run, 1)
        running = screen_rgb(*line)
        wait_until(lambda: screen_rgb(*line) != running, 5, "the recorded time to run")
        self.assertEqual(text_line(panel), "region")  # white figures, no message
        time.sleep(2.5)
        paused_at = clock.now()
        hotkey("Control_L", "Alt_L", "p")
        run.wait_panel(panel, YELLOW)
        # Paused, once the segment has ended, the time stands still.
        time.sleep(1.0)
        frozen = screen_rgb(*line)
        time.sleep(1.2)
        self.assertEqual((screen_rgb(*line), pixel(*panel)), (frozen, YELLOW))
        self.assertNotEqual(frozen, running)
        time.sleep(max(0.0, paused_at + 3 - clock.now()))
        resumed_at = clock.now()
        hotkey("Control_L", "Alt_L", "p")
        run.wait_panel(panel, GREEN)
        self.assertEqual(xd.get_input_focus().focus, other)
        self.wait_segment(run, 2)
        time.sleep(2.5)
        press("record", panel)
        times = clock.frame_times(self.finished(run, panel))
        self.assertEqual(sorted(times), times)
        jumps = [i for i in range(len(times) - 1) if times[i + 1] - times[i] > 0.2]
        self.assertEqual(len(jumps), 1, times)
        before, after = times[jumps[0]], times[jumps[0] + 1]
        print("\npause: the last frame %+.3f s after the press, the first after resuming %+.3f s after it"
              % (before - paused_at, after - resumed_at))
        # Nothing from inside the pause but what ffmpeg took before it read
        # the request (it reads its input every 0.1 s), nothing lost before it.
        self.assertTrue(paused_at - 0.05 < before < paused_at + 0.25 and resumed_at < after < resumed_at + 1)

    def test_a_power_cut_while_paused_keeps_every_segment(self):
        run, panel, output = self.record_segments(2, stop=False)
        # A Vornby that reaches the folder by another path (or from another
        # machine) leaves the paused recording alone.
        wait_until(lambda: len(os.listdir(output)) == 3, 20, "the segment list")
        other = Recorder(self, output=output)
        wait_until(lambda: "it is left alone." in other.stdout(), 30, "the other Vornby to look")
        other.process.terminate()
        self.assertEqual(other.wait_exit(), 0)
        run.process.kill()
        run.wait_exit()
        self.assertEqual(sorted(name.split(" 0.", 1)[1] for name in os.listdir(output)),
                         ["recording-2.mp4", "recording.mp4", "segments.txt"])
        again = Recorder(self, again=run)
        recovered = wait_until(lambda: re.search("panel: Recovered (.*) \u2014 ", again.log()), 30, "the recovery")
        self.assertEqual(os.listdir(output), [recovered.group(1)])
        info = probe(os.path.join(output, recovered.group(1)), "stream=nb_read_frames:format=duration")
        self.assertGreater(float(info["duration"]), 2.5)  # both segments
        self.assertLess(abs(int(info["nb_read_frames"]) - 30 * float(info["duration"])), 3)
        self.assertEqual(again.close(panel), 0)

    def test_sound_stays_with_the_picture_across_pauses(self):
        play_tone(self, 440)
        run, panel, _ = self.record_segments(3, stop=True, config="audio_device_name = @DEFAULT_MONITOR@\n",
                                             state={"style": 1, "audio": 1})
        video = self.finished(run, panel)
        lengths = stream_lengths(video)
        audio, picture = float(lengths["audio"]), float(lengths["video"])
        print("\nsound and picture after three pauses: %.3f s and %.3f s" % (audio, picture))
        self.assertLess(abs(audio - picture), 0.05)
        # Every segment's picture at its constant rate, none doubled.
        self.assertLess(abs(int(probe(video, "stream=nb_read_frames")["nb_read_frames"]) - picture * 30), 1)
        self.assertGreater(sound.tone_level(sound.samples(video)[-sound.RATE:], 440), 0.1)


if __name__ == "__main__":
    RUN_DIR, FAKE_ENCODER = sys.argv[1], sys.argv[2]
    rest = sys.argv[3:]
    if rest[:1] == ["--wine"]:
        WINE, WINE_RUN, WINEPREFIX = True, rest[1], rest[2]
        rest = rest[3:]
    suites = [Interaction, InteractionWarped, Recording] + ([] if WINE else [RealEncoder, HotkeyAndShareCopy,
                                                                            ComputerSound, Pausing])
    loader = unittest.TestLoader()
    suite = unittest.TestSuite(loader.loadTestsFromTestCase(s) for s in suites)
    if rest:
        suite = unittest.TestSuite(t for t in unittest.TestSuite(suite)._tests for t in t if any(r in t.id() for r in rest))
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)
