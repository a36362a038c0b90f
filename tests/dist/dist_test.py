#!/usr/bin/python3
"""What `make dist` gives users, tested the way they would use it.

Builds both packages with scripts/dist into a scratch folder and checks their
contents; unzips the Windows zip into a fresh folder and records with it under
Wine (the fake encoder as ffmpeg.exe beside it); as root, installs the Debian
package, records with `vornby` from PATH as an ordinary user with a fresh home
and the real ffmpeg, and removes the package again.

usage: dist_test.py SOURCE_DIR FAKE_ENCODER_EXE WINE_RUN WINEPREFIX
"""
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "app"))
import recorder_test as app  # noqa: E402  (the pointer and screen helpers)

SOURCE = FAKE_ENCODER = WINE_RUN = WINEPREFIX = None
OUT = VERSION = ZIP = DEB = None
DIST_LOG = ""
NOBODY = 65534
STATE_SIZE = 38


def project_version():
    with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
        return re.search(r"project\(vornby VERSION ([0-9.]+)", f.read()).group(1)


def config_keys():
    with open(os.path.join(SOURCE, "assets", "Config.txt")) as f:
        return re.findall(r"^#(\w+) =", f.read(), re.M)


def setUpModule():
    global OUT, VERSION, ZIP, DEB, DIST_LOG
    VERSION = project_version()
    OUT = tempfile.mkdtemp(prefix="vornby-dist-")
    run = subprocess.run([os.path.join(SOURCE, "scripts", "dist"), OUT], capture_output=True, text=True)
    DIST_LOG = run.stdout + run.stderr
    if run.returncode != 0:
        raise AssertionError("scripts/dist failed:\n" + DIST_LOG[-4000:])
    ZIP = os.path.join(OUT, "vornby-%s-windows-x64.zip" % VERSION)
    DEB = os.path.join(OUT, "vornby_%s_amd64.deb" % VERSION)


def tearDownModule():
    if OUT:
        shutil.rmtree(OUT, True)


class Contents(unittest.TestCase):
    def test_windows_zip(self):
        top = "vornby-%s-windows-x64/" % VERSION
        with zipfile.ZipFile(ZIP) as z:
            names = set(z.namelist())
            licences = {n[len(top + "licenses/"):]: z.read(n).decode() for n in names
                        if n.startswith(top + "licenses/") and not n.endswith("/")}
            readme = z.read(top + "README.txt").decode()
            exe = z.read(top + "vornby.exe")
            config = z.read(top + "Config.txt").decode()
        self.assertEqual(names, {top + n for n in (
            "vornby.exe", "font.otf", "icons.png", "Config.txt", "README.txt", "output/", "licenses/",
            "licenses/vornby.txt", "licenses/Inter-font-OFL-1.1.txt", "licenses/stb.txt", "licenses/mingw-w64-runtime.txt",
            "licenses/gcc-runtime.txt")})
        # The users' README: where ffmpeg.exe goes and where to get it, every
        # Config.txt key, where recordings and the log are; Notepad line ends.
        self.assertTrue(readme.startswith("Vornby %s" % VERSION))
        self.assertNotIn("\n", readme.replace("\r\n", ""))
        for text in ("beside vornby.exe", "https://ffmpeg.org/download.html", "output", "vornby.log",
                     "%APPDATA%\\Vornby", "Record / stop", "Delay - / +") + tuple(config_keys()):
            self.assertIn(text, readme)
        self.assertIn("frame_size_rounding", config)
        # The licences of everything inside the program, from the packages' own notices.
        self.assertIn("MIT License", licences["vornby.txt"])
        self.assertIn("SIL OPEN FONT LICENSE Version 1.1", licences["Inter-font-OFL-1.1.txt"])
        self.assertIn("The Inter Project Authors", licences["Inter-font-OFL-1.1.txt"])
        self.assertIn("ALTERNATIVE A - MIT License", licences["stb.txt"])
        self.assertIn("ALTERNATIVE B - Public Domain", licences["stb.txt"])
        self.assertIn("Files: mingw-w64-libraries/winpthreads/*", licences["mingw-w64-runtime.txt"])
        self.assertIn("License: ZPL-2.1", licences["mingw-w64-runtime.txt"])
        self.assertIn("GCC RUNTIME LIBRARY EXCEPTION", licences["gcc-runtime.txt"])
        self.assertIn("GNU GENERAL PUBLIC LICENSE", licences["gcc-runtime.txt"])
        # Those are all it carries: the runtime is linked in, no MinGW DLL is needed.
        with tempfile.NamedTemporaryFile(suffix=".exe") as f:
            f.write(exe)
            f.flush()
            dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", f.name], capture_output=True,
                                  text=True, check=True).stdout
        dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", dump)}
        self.assertTrue(dlls, "no imports found")
        self.assertEqual({d for d in dlls if "pthread" in d or "gcc" in d or "stdc++" in d}, set())
        self.assertNotIn(b".debug_info", exe, "the exe is not stripped")

    def test_debian_package(self):
        def field(name):
            return subprocess.run(["dpkg-deb", "-f", DEB, name], capture_output=True, text=True,
                                  check=True).stdout.strip()
        self.assertEqual((field("Package"), field("Version"), field("Architecture")), ("vornby", VERSION, "amd64"))
        depends = [d.split()[0] for d in field("Depends").split(", ")]
        # ffmpeg by hand; the X libraries and libc computed from the binary.
        for package in ("ffmpeg", "fonts-inter", "libc6", "libx11-6", "libxrandr2", "libxtst6"):
            self.assertIn(package, depends)
        self.assertEqual(field("Section"), "video")
        listing = subprocess.run(["dpkg-deb", "-c", DEB], capture_output=True, text=True, check=True).stdout
        paths = {line.split()[5][1:]: line for line in listing.splitlines()}
        sizes = ("16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256")
        for path in ["/usr/bin/vornby", "/usr/share/vornby/icons.png", "/usr/share/vornby/Config.txt",
                     "/usr/share/applications/vornby.desktop", "/usr/share/man/man1/vornby.1.gz",
                     "/usr/share/doc/vornby/copyright", "/usr/share/doc/vornby/changelog.gz"] + \
                ["/usr/share/icons/hicolor/%s/apps/vornby.png" % s for s in sizes]:
            self.assertIn(path, paths)
        self.assertTrue(paths["/usr/bin/vornby"].startswith("-rwxr-xr-x root/root"))
        self.assertIn("-> ../fonts/opentype/inter/Inter-Regular.otf", paths["/usr/share/vornby/font.otf"])
        for path in paths:
            self.assertTrue(path.startswith("/usr/"), path)
        # Each icon is a PNG of the size its folder names.
        with tempfile.TemporaryDirectory() as root:
            subprocess.run(["dpkg-deb", "-x", DEB, root], check=True)
            for size in sizes:
                with open(os.path.join(root, "usr/share/icons/hicolor/%s/apps/vornby.png" % size), "rb") as f:
                    head = f.read(24)
                self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
                self.assertEqual("%dx%d" % struct.unpack(">II", head[16:24]), size)
            with open(os.path.join(root, "usr/share/applications/vornby.desktop")) as f:
                desktop = f.read()
            self.assertIn("\nExec=vornby\n", desktop)
            self.assertIn("\nIcon=vornby\n", desktop)
            with open(os.path.join(root, "usr/share/doc/vornby/copyright")) as f:
                self.assertTrue(f.read().startswith(
                    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"))
            man = subprocess.run(["man", "-l", os.path.join(root, "usr/share/man/man1/vornby.1.gz")],
                                 capture_output=True, text=True, env=dict(os.environ, MANWIDTH="80"))
            self.assertIn("vornby - record a region of the screen", man.stdout)
        # scripts/dist fails on lintian's errors; none may hide among its notes.
        self.assertNotRegex(DIST_LOG, r"(?m)^E: ")


class Run:
    """The program started from where a user would start it."""

    def __init__(self, test, command, cwd, env, user=None):
        self.log = tempfile.NamedTemporaryFile(prefix="vornby-run-", suffix=".txt")
        test.addCleanup(self.log.close)
        extra = {"user": user, "group": user, "extra_groups": []} if user is not None else {}
        self.process = subprocess.Popen(command, cwd=cwd, env=env, stdout=self.log, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL, **extra)
        test.addCleanup(self.stop)

    def output(self):
        with open(self.log.name, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def record_and_close(run, seconds, before_close=None):
    """Records the default region for a while and closes; the exit code."""
    try:
        app.wait_until(lambda: app.window_named(app.PANEL_TITLE) is not None and app.pixel(*app.PANEL) == app.RED,
                       90 if app.WINE else 30, "the panel")
        app.press("record")
        app.wait_until(lambda: app.pixel(*app.PANEL) == app.GREEN, 60, "the recording to start")
        time.sleep(seconds)  # the length of the recording
        app.press("record")
        app.wait_until(lambda: app.pixel(*app.PANEL) == app.RED, 60, "the recording to end")
        if before_close:
            before_close()
        app.press("close")
        return run.process.wait(90)
    except AssertionError as e:
        raise AssertionError("%s; the program's output:\n%s" % (e, run.output()))


class WindowsZip(unittest.TestCase):
    def setUp(self):
        app.WINE = True

    def test_unzipped_folder_records_under_wine(self):
        folder = tempfile.mkdtemp(prefix="vornby-unzipped-")
        self.addCleanup(shutil.rmtree, folder, True)
        with zipfile.ZipFile(ZIP) as z:
            z.extractall(folder)
        here = os.path.join(folder, "vornby-%s-windows-x64" % VERSION)
        self.assertEqual(os.listdir(os.path.join(here, "output")), [])
        shutil.copy(FAKE_ENCODER, os.path.join(here, "ffmpeg.exe"))
        env = dict(os.environ, VORNBY_WINEPREFIX=WINEPREFIX)
        run = Run(self, [WINE_RUN, os.path.join(here, "vornby.exe")], here, env)
        self.assertEqual(record_and_close(run, 1), 0, run.output())
        # A portable folder: the recording, the settings and the encoder's
        # command line all stay in it.
        videos = os.listdir(os.path.join(here, "output"))
        self.assertEqual(len(videos), 1)
        self.assertTrue(videos[0].endswith(".mp4"))
        with open(os.path.join(here, "fake_ffmpeg.log"), "rb") as f:
            command = f.read().decode("utf-8", "replace").replace("\\", "/")
        self.assertIn("-f gdigrab", command)
        self.assertIn('"Z:%s/output/%s"' % (here, videos[0].replace(".mp4", ".recording.mp4")), command)
        self.assertEqual(os.path.getsize(os.path.join(here, "_vornby.state")), STATE_SIZE)


def dpkg(*args):
    """dpkg or apt-get, waiting while another install on this machine holds the lock."""
    end = time.time() + 600
    while True:
        run = subprocess.run(args, capture_output=True, text=True,
                             env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
        if run.returncode == 0 or "lock" not in run.stderr or time.time() > end:
            return run
        time.sleep(2)


def snapshot(folders):
    """Every entry under the folders with its size and change time."""
    seen = {}
    for folder in folders:
        for base, dirs, files in os.walk(folder):
            for name in dirs + files:
                path = os.path.join(base, name)
                st = os.lstat(path)
                seen[path] = (st.st_size, st.st_mtime_ns, st.st_ctime_ns)
    return seen


@unittest.skipUnless(os.geteuid() == 0, "installing the Debian package needs root; not tried")
class DebianInstall(unittest.TestCase):
    def setUp(self):
        app.WINE = False
        if subprocess.run(["dpkg-query", "-W", "-f=${db:Status-Status}", "vornby"], capture_output=True,
                          text=True).stdout == "installed":
            self.skipTest("vornby is already installed on this machine; left alone")

    def open_folder(self, opened):
        app.press("folder", reacts=False)
        app.wait_until(lambda: os.path.exists(opened) and os.path.getsize(opened) > 0, 20, "the folder button to start xdg-open")

    def test_install_record_from_path_and_remove(self):
        installed = dpkg("dpkg", "-i", DEB)
        self.addCleanup(lambda: dpkg("dpkg", "-r", "vornby"))
        if installed.returncode != 0:
            fixed = dpkg("apt-get", "install", "-f", "-y", "-q", "--no-install-recommends")
            self.assertEqual(fixed.returncode, 0, installed.stderr + fixed.stderr)
        self.assertEqual(shutil.which("vornby"), "/usr/bin/vornby")

        # An ordinary user with a fresh home, a Videos folder of its own name
        # as xdg-user-dirs records it, and its own configuration folder.
        home = tempfile.mkdtemp(prefix="vornby-home-")
        self.addCleanup(shutil.rmtree, home, True)
        config = os.path.join(home, "settings")
        os.makedirs(config)
        with open(os.path.join(config, "user-dirs.dirs"), "w") as f:
            f.write('XDG_VIDEOS_DIR="$HOME/My Films"\n')
        # A stand-in for xdg-open that notes which folder the folder button opens.
        os.makedirs(os.path.join(home, "bin"))
        opened = os.path.join(home, "opened.txt")
        with open(os.path.join(home, "bin", "xdg-open"), "w") as f:
            f.write('#!/bin/sh\nprintf "%%s" "$1" > "%s"\n' % opened)
        os.chmod(os.path.join(home, "bin", "xdg-open"), 0o755)
        for base, dirs, files in os.walk(home):
            for name in [base] + [os.path.join(base, n) for n in files]:
                os.chown(name, NOBODY, NOBODY)
        env = {"HOME": home, "XDG_CONFIG_HOME": config, "PATH": home + "/bin:/usr/local/bin:/usr/bin:/bin",
               "DISPLAY": os.environ["DISPLAY"], "LANG": "C.UTF-8"}
        watched = ["/usr/bin", "/usr/share/vornby"]
        before = snapshot(watched)

        run = Run(self, ["vornby"], home, env, user=NOBODY)
        self.assertEqual(record_and_close(run, 2, before_close=lambda: self.open_folder(opened)), 0, run.output())

        folder = os.path.join(home, "My Films", "Vornby")
        with open(opened) as f:
            self.assertEqual(f.read(), folder)
        videos = os.listdir(folder) if os.path.isdir(folder) else []
        self.assertEqual(len(videos), 1, "recordings in %s: %s\n%s" % (folder, videos, run.output()))
        probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=width,height:format=duration",
                                "-of", "default=noprint_wrappers=1", os.path.join(folder, videos[0])],
                               capture_output=True, text=True, check=True)
        info = dict(line.split("=", 1) for line in probe.stdout.split())
        x0, y0, x1, y1 = app.REGION
        self.assertEqual((int(info["width"]), int(info["height"])), (x1 - x0 + 1, y1 - y0 + 1))
        self.assertGreater(float(info["duration"]), 1.0)
        self.assertEqual(os.path.getsize(os.path.join(config, "vornby", "_vornby.state")), STATE_SIZE)
        self.assertEqual(snapshot(watched), before, "the program wrote under /usr")
        # Root may write into /usr/bin, and still must not: what it left there
        # would outlive the package.
        run = Run(self, ["vornby"], home, dict(env, XDG_CONFIG_HOME=os.path.join(home, "root-settings")))
        app.wait_until(lambda: app.window_named(app.PANEL_TITLE) is not None and app.pixel(*app.PANEL) == app.RED,
                       30, "the panel of root's run")
        app.press("close")
        self.assertEqual(run.process.wait(90), 0, run.output())
        self.assertEqual(snapshot(watched), before, "the program run as root wrote under /usr")
        # A user with no home at all (no HOME, no password entry): a clear
        # message, and nothing put in the file system's root.
        root_before = set(os.listdir("/"))
        homeless = {k: v for k, v in env.items() if k not in ("HOME", "XDG_CONFIG_HOME")}
        run = Run(self, ["vornby"], "/", homeless, user=54321)
        app.wait_until(lambda: app.window_named(app.PANEL_TITLE) is not None and app.pixel(*app.PANEL) == app.RED,
                       30, "the panel of the homeless run")
        app.press("record", reacts=False)
        app.wait_until(lambda: "No folder for the recordings" in run.output(), 30, "the message")
        app.press("close")
        self.assertEqual(run.process.wait(90), 0, run.output())
        self.assertNotIn("[[[", run.output())
        self.assertEqual(set(os.listdir("/")), root_before)

        removed = dpkg("dpkg", "-r", "vornby")
        self.assertEqual(removed.returncode, 0, removed.stderr)
        self.assertFalse(os.path.exists("/usr/bin/vornby"))
        self.assertFalse(os.path.exists("/usr/share/vornby"))
        self.assertEqual(glob.glob("/usr/share/icons/hicolor/*/apps/vornby.png"), [])


if __name__ == "__main__":
    SOURCE, FAKE_ENCODER, WINE_RUN, WINEPREFIX = (os.path.abspath(a) for a in sys.argv[1:5])
    app.WINE_RUN, app.WINEPREFIX = WINE_RUN, WINEPREFIX
    if os.geteuid() != 0:
        print("dist_test: not root, so the Debian package is built and checked but not installed")
    suite = unittest.TestLoader().loadTestsFromModule(sys.modules[__name__])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)
