#!/usr/bin/python3
"""What the crash-proof file form costs, measured with the real ffmpeg.

1. CPU (user + system, from the kernel's accounting of the child) of encoding
   the same clip with the recording's codec into today's plain MP4, the
   fragmented MP4 the recorder now writes, and Matroska with the same
   flushing; the median of RUNS runs each, and the files' sizes.
2. The finishing step on a 1-minute 1920x1080 recording at 30 fps: the remux
   into an ordinary MP4 and the check that reads it back, as the recorder runs
   them (code/recorder/encoder_command.cpp); the median of 3, warm cache.

usage: bench/recording_forms.py [RUNS=5] [CLIP_SECONDS=10] [CLIP_SIZE=1920x1080]
The clip is ffmpeg's testsrc2 pattern: every frame changes, unlike most
desktops, so the files are large and the timings an upper bound.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

CODEC = ["-c:v", "libx264rgb", "-preset", "ultrafast", "-qp", "0"]
FORMS = {
    "plain MP4 (before)": ([], "mp4"),
    "fragmented MP4 (now)": (["-movflags", "+frag_keyframe+empty_moov+default_base_moof", "-frag_duration",
                              "1000000", "-flush_packets", "1"], "mp4"),
    "Matroska": (["-flush_packets", "1", "-cluster_time_limit", "1000"], "mkv"),
}
QUIET = ["ffmpeg", "-hide_banner", "-nostdin", "-nostats", "-v", "error"]


def cpu_of(command):
    """Runs command: (CPU seconds of the child, wall seconds, its output)."""
    before = os.times()
    start = time.monotonic()
    process = subprocess.run(command, capture_output=True)
    wall = time.monotonic() - start
    after = os.times()
    if process.returncode != 0:
        raise SystemExit("failed: %s\n%s" % (" ".join(command), process.stderr.decode()))
    out = process.stdout.decode()
    cpu = (after.children_user - before.children_user) + (after.children_system - before.children_system)
    return cpu, wall, out


def source(seconds, size):
    return ["-f", "lavfi", "-i", "testsrc2=size=%s:rate=30" % size, "-t", str(seconds)]


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    size = sys.argv[3] if len(sys.argv) > 3 else "1920x1080"
    folder = tempfile.mkdtemp(prefix="vornby-bench-")
    print("load average before: %s" % open("/proc/loadavg").read().split()[:3])
    print("1. CPU of encoding %d s of %s at 30 fps, median of %d (CPU seconds; file size)" % (seconds, size, runs))
    baseline = None
    for name, (options, extension) in FORMS.items():
        path = os.path.join(folder, "clip." + extension)
        cpu = []
        for _ in range(runs):
            used, _, _ = cpu_of(QUIET + ["-y"] + source(seconds, size) + CODEC + options + [path])
            cpu.append(used)
        median = statistics.median(cpu)
        baseline = baseline or median
        print("  %-22s %6.2f s  (%+5.1f %%)  %9.1f KB   runs: %s" % (
            name, median, 100 * (median / baseline - 1), os.path.getsize(path) / 1e3,
            " ".join("%.2f" % c for c in cpu)))

    print("2. Finishing a 60 s 1920x1080 recording (median of 3)")
    working = os.path.join(folder, "minute.recording.mp4")
    cpu_of(QUIET + ["-y"] + source(60, "1920x1080") + CODEC + FORMS["fragmented MP4 (now)"][0] + [working])
    finished = os.path.join(folder, "minute.finishing.mp4")
    progress = ["-progress", "pipe:1"]
    remux_times, check_times = [], []
    for _ in range(3):
        _, wall, out = cpu_of(QUIET + progress + ["-y", "-i", working, "-c", "copy", "-movflags", "+faststart",
                                                  finished])
        remux_times.append(wall)
        frames = [line for line in out.split() if line.startswith("frame=")][-1]
        _, wall, out = cpu_of(QUIET + progress + ["-i", finished, "-c", "copy", "-f", "null", "-"])
        check_times.append(wall)
        if [line for line in out.split() if line.startswith("frame=")][-1] != frames:
            raise SystemExit("the check read other frames than the remux wrote")
    print("  working file %.0f MB, %s" % (os.path.getsize(working) / 1e6, frames))
    print("  remux %.2f s + check %.2f s = %.2f s" % (statistics.median(remux_times), statistics.median(check_times),
                                                      statistics.median(remux_times) + statistics.median(check_times)))
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))
    os.rmdir(folder)
    print("load average after: %s" % open("/proc/loadavg").read().split()[:3])


if __name__ == "__main__":
    main()
