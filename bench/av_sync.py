#!/usr/bin/python3
"""Sound and picture in step: flashes of a window and tone bursts started
together, recorded, and the recording measured.

    scripts/with-display bench/av_sync.py record [SECONDS] [FPS]
        a private PulseAudio server, the stimulus, and ffmpeg recording it
        with the recorder's own Linux command line (x11grab + pulse from the
        default output's monitor, libx264rgb ultrafast qp 0, libopus 320k),
        stopped by "q" after SECONDS (60); then measured. AV_SYNC_INPUT_OPTIONS
        go before the sound input, AV_SYNC_OUTPUT_OPTIONS before the output
        (e.g. "-thread_queue_size 1024 -fragment_size 3840")
    scripts/with-display bench/av_sync.py stimulate [SECONDS]
        the stimulus alone, for the recorder to record: the window covers
        the recorder's default region on a 1920x1080 screen; run the recorder
        under the same PULSE_SERVER (printed)
    scripts/with-display bench/av_sync.py recorder PROGRAM_FOLDER [SECONDS] [FPS]
        the recorder itself, copied from PROGRAM_FOLDER (build/linux/vornby)
        into a fresh folder with the speaker button on and no device named,
        started and stopped with "vornby --toggle" around the stimulus; then
        its finished recording is measured
    bench/av_sync.py measure RECORDING
        any recording of the stimulus: each flash's first bright frame against
        its tone's onset, and the audio and video streams' lengths

The stimulus: every 2 s from 2 s on, the window turns white and a 1 kHz
burst at half scale starts on the default sink, both for 300 ms. The burst
is timed by the sound server's own clock: its first sample is written when
the playback latency says it will be heard at the flash's instant.
"""
import ctypes
import math
import json
import os
import struct
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "app"))
import sound  # noqa: E402

from Xlib import X, display  # noqa: E402

PERIOD, FIRST, BURST, TONE = 2.0, 2.0, 0.3, 1000.0
CHUNK = 240  # frames per write: 5 ms
REGION = (770, 430, 380, 220)  # inside the recorder's default region at 1920x1080


# libpulse's sample format record
class SampleFormat(ctypes.Structure):
    _fields_ = [("format", ctypes.c_int), ("rate", ctypes.c_uint32), ("channels", ctypes.c_uint8)]


class BufferAttr(ctypes.Structure):
    _fields_ = [(name, ctypes.c_uint32) for name in ("maxlength", "tlength", "prebuf", "minreq", "fragsize")]


def open_playback():
    pulse = ctypes.CDLL("libpulse-simple.so.0")
    pulse.pa_simple_new.restype = ctypes.c_void_p
    pulse.pa_simple_get_latency.restype = ctypes.c_uint64
    sample_format = SampleFormat(3, sound.RATE, 1)  # PA_SAMPLE_S16LE, mono
    attr = BufferAttr(0xFFFFFFFF, CHUNK * 2 * 4, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)
    error = ctypes.c_int()
    stream = pulse.pa_simple_new(None, b"av_sync", 1, None, b"bursts", ctypes.byref(sample_format), None,
                                 ctypes.byref(attr), ctypes.byref(error))
    if not stream:
        raise RuntimeError("no playback stream (pulse error %d)" % error.value)
    return pulse, ctypes.c_void_p(stream)


def stimulate(seconds, region=REGION):
    """Runs the flashes and bursts for seconds; returns the flash instants (time.monotonic)."""
    xd = display.Display()
    screen = xd.screen()
    window = screen.root.create_window(*region, 0, screen.root_depth, X.InputOutput, X.CopyFromParent,
                                       background_pixel=screen.black_pixel, override_redirect=True)
    window.map()
    xd.sync()
    pulse, stream = open_playback()
    burst = struct.pack("<%dh" % int(BURST * sound.RATE), *(
        int(16384 * math.sin(2 * math.pi * TONE * i / sound.RATE))
        for i in range(int(BURST * sound.RATE))))
    silence = bytes(CHUNK * 2)
    flashes = []

    def flash(at, pixel):
        time.sleep(max(0.0, at - time.monotonic()))
        window.change_attributes(background_pixel=pixel)
        window.clear_area()
        xd.sync()

    start = time.monotonic()
    error = ctypes.c_int()
    while time.monotonic() - start < seconds:
        elapsed = time.monotonic() - start
        due = FIRST + PERIOD * len(flashes)
        if elapsed + 0.1 >= due and due + BURST < seconds:
            # Heard once what is queued ahead of it has played.
            latency = pulse.pa_simple_get_latency(stream, ctypes.byref(error)) / 1e6
            at = time.monotonic() + latency
            flashes.append(at)
            threading.Thread(target=lambda: (flash(at, screen.white_pixel), flash(at + BURST, screen.black_pixel))).start()
            pulse.pa_simple_write(stream, burst, len(burst), ctypes.byref(error))
        else:
            pulse.pa_simple_write(stream, silence, len(silence), ctypes.byref(error))
    pulse.pa_simple_drain(stream, ctypes.byref(error))
    window.destroy()
    xd.sync()
    return flashes


def probe(path, entries, stream):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", stream, "-show_entries", entries,
                          "-of", "json", path], stdout=subprocess.PIPE, check=True).stdout
    return json.loads(out)


def measure(path):
    streams = {s["codec_type"]: s for s in probe(path, "stream=codec_type,start_time,duration", "v:0")["streams"]
               + probe(path, "stream=codec_type,start_time,duration", "a:0")["streams"]}
    # Brightness of every frame, from the middle of the picture.
    frames = subprocess.run(
        ["ffprobe", "-v", "error", "-f", "lavfi", "-i", "movie=%s,crop=iw/4:ih/4,signalstats" % path.replace(":", "\\:"),
         "-show_entries", "frame=pts_time:frame_tags=lavfi.signalstats.YAVG", "-of", "csv=p=0"],
        stdout=subprocess.PIPE, check=True, text=True).stdout.split()
    frames = [(float(t), float(y)) for t, y in (line.split(",") for line in frames)]
    bright = [t for (t, y), (_, before) in zip(frames[1:], frames) if y > 128 >= before]
    audio_start = float(streams["audio"].get("start_time", 0))
    values = sound.samples(path)
    onsets, quiet = [], 0
    for i, value in enumerate(values):
        if abs(value) > 0.1:
            if quiet > sound.RATE // 10:
                onsets.append(audio_start + i / sound.RATE)
            quiet = 0
        else:
            quiet += 1
    offsets = []
    for flash in bright:
        near = min(onsets, key=lambda onset: abs(onset - flash), default=None)
        if near is not None and abs(near - flash) < PERIOD / 2:
            offsets.append(near - flash)
    video_length, audio_length = float(streams["video"]["duration"]), float(streams["audio"]["duration"])
    print("%s: %d flashes, %d tone onsets, %d paired" % (path, len(bright), len(onsets), len(offsets)))
    if offsets:
        ordered = sorted(offsets)
        print("sound after picture, ms: median %.1f, min %.1f, max %.1f, first %.1f, last %.1f (frame %.1f ms)" % (
            1000 * ordered[len(ordered) // 2], 1000 * ordered[0], 1000 * ordered[-1], 1000 * offsets[0],
            1000 * offsets[-1], 1000 * (frames[-1][0] - frames[0][0]) / max(1, len(frames) - 1)))
    print("each, ms: " + " ".join("%.0f" % (1000 * offset) for offset in offsets))
    print("streams: video %.3f s from %.3f, audio %.3f s from %.3f; audio - video = %.1f ms" % (
        video_length, float(streams["video"].get("start_time", 0)), audio_length, audio_start,
        1000 * (audio_length - video_length)))
    return offsets


def record(seconds, fps):
    sound.start_pulse()
    folder = tempfile.mkdtemp(prefix="vornby-av-sync-")
    path = os.path.join(folder, "recording.mp4")
    x, y, w, h = REGION
    # The recorder's command line with the default output's monitor as its device.
    command = ["ffmpeg", "-y", "-f", "pulse", "-i", "@DEFAULT_MONITOR@", "-f", "x11grab", "-framerate", str(fps),
               "-video_size", "%dx%d" % (w, h), "-draw_mouse", "0", "-i", "%s+%d,%d" % (os.environ["DISPLAY"], x, y),
               "-c:v", "libx264rgb", "-preset", "ultrafast", "-qp", "0", "-c:a", "libopus", "-b:a", "320k", path]
    # Options to try beside it: before the sound input, and before the output.
    command[-1:-1] = os.environ.get("AV_SYNC_OUTPUT_OPTIONS", "").split()
    command[2:2] = os.environ.get("AV_SYNC_INPUT_OPTIONS", "").split()
    print(" ".join(command))
    encoder = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                               stderr=open(os.path.join(folder, "ffmpeg.log"), "w"))
    time.sleep(1.0)  # ffmpeg opens both inputs before the first flash
    stimulate(seconds - 1.5)
    encoder.communicate(b"q\n", timeout=60)
    print("ffmpeg exit %d; log %s" % (encoder.returncode, os.path.join(folder, "ffmpeg.log")))
    measure(path)


def recorder(program_folder, seconds, fps):
    sound.start_pulse()
    folder = tempfile.mkdtemp(prefix="vornby-av-sync-")
    for name in ("vornby", "font.otf", "icons.png"):
        subprocess.run(["cp", os.path.join(program_folder, name), folder], check=True)
    # The default region on 1920x1080, no delay, audio on, the chosen rate.
    with open(os.path.join(folder, "_vornby.state"), "wb") as f:
        f.write(struct.pack("<BiiiiBiBBBBiii", 1, 770, 430, 1149, 649, 2, 0, 0, 0, 1, fps, 0, 0, 0))
    program = os.path.join(folder, "vornby")
    run = subprocess.Popen([program], cwd=folder, stdout=open(os.path.join(folder, "stdout.txt"), "w"),
                           stderr=subprocess.STDOUT)
    time.sleep(2.0)  # the panel is up
    subprocess.run([program, "--toggle"], check=True)
    time.sleep(1.0)  # the encoder has opened its inputs
    stimulate(seconds - 1.5)
    subprocess.run([program, "--toggle"], check=True)
    log = os.path.join(folder, "vornby.log")
    end = time.time() + 120
    while time.time() < end and "panel: Saved" not in open(log).read():
        time.sleep(0.2)
    run.terminate()
    run.wait(60)
    output = os.path.join(folder, "output")
    measure(os.path.join(output, [n for n in os.listdir(output) if n.endswith(".mp4")][0]))


if __name__ == "__main__":
    what = sys.argv[1] if len(sys.argv) > 1 else "record"
    if what == "measure":
        measure(sys.argv[2])
    elif what == "recorder":
        recorder(sys.argv[2], float(sys.argv[3]) if len(sys.argv) > 3 else 60.0,
                 int(sys.argv[4]) if len(sys.argv) > 4 else 30)
    elif what == "stimulate":
        sound.start_pulse()
        print("PULSE_SERVER=%s" % os.environ["PULSE_SERVER"], flush=True)
        stimulate(float(sys.argv[2]) if len(sys.argv) > 2 else 60.0)
    else:
        record(float(sys.argv[2]) if len(sys.argv) > 2 else 60.0, int(sys.argv[3]) if len(sys.argv) > 3 else 60)
