#!/usr/bin/python3
"""Sound for tests and measurements: a private PulseAudio server with the
null sinks "speakers" (the default) and "second", reached through
PULSE_SERVER by every client started after start_pulse(), and tones found
in recordings. As a program, sound.py COMMAND [ARGS...] runs one command under
its own server."""
import atexit
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

SINKS = ("speakers", "second")
RATE = 48000


def start_pulse():
    """Starts the server once per program (later calls do nothing), points
    this process's environment at it and stops it at exit."""
    if os.environ.get("VORNBY_PULSE_DIR"):
        return
    folder = tempfile.mkdtemp(prefix="vornby-pulse-")
    socket = os.path.join(folder, "native")
    # HOME and XDG_RUNTIME_DIR: no cookie, state or lock of the user's own server is touched.
    env = dict(os.environ, HOME=folder, XDG_RUNTIME_DIR=folder, XDG_CONFIG_HOME=folder)
    modules = ["module-native-protocol-unix socket=%s auth-anonymous=1" % socket]
    modules += ["module-null-sink sink_name=%s rate=%d" % (name, RATE) for name in SINKS]
    server = subprocess.Popen(
        ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes", "-F", "/dev/null"]
        + [arg for module in modules for arg in ("-L", module)],
        env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    atexit.register(lambda: (server.terminate(), server.wait(10), shutil.rmtree(folder, ignore_errors=True)))
    os.environ.update(PULSE_SERVER="unix:" + socket, VORNBY_PULSE_DIR=folder)
    end = time.time() + 20
    while subprocess.run(["pactl", "info"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode:
        if server.poll() is not None or time.time() > end:
            raise RuntimeError("the private PulseAudio server did not start")
        time.sleep(0.05)


def samples(path, stream="a:0"):
    """The recording's audio, mixed to mono at 48 kHz, as floats."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:" + stream, "-ac", "1", "-ar", str(RATE),
                          "-f", "s16le", "-"], stdout=subprocess.PIPE, check=True).stdout
    return [value / 32768.0 for value in struct.unpack("<%dh" % (len(raw) // 2), raw)]


def tone_level(values, frequency):
    """The amplitude of one frequency in the samples (Goertzel): a full-scale
    sine gives 1.0, its absence about 0."""
    if not values:
        return 0.0
    coefficient = 2 * math.cos(2 * math.pi * frequency / RATE)
    before = earlier = 0.0
    for value in values:
        before, earlier = value + coefficient * before - earlier, before
    power = before * before + earlier * earlier - coefficient * before * earlier
    return 2 * math.sqrt(max(power, 0.0)) / len(values)


if __name__ == "__main__":
    start_pulse()
    sys.exit(subprocess.run(sys.argv[1:]).returncode)
