#!/usr/bin/python3
"""What a pause costs, measured on the running recorder with the real ffmpeg.

    scripts/with-display bench/pause.py RUN_DIR [--sound] [PAUSES=3]

RUN_DIR is the built program's folder (build/linux/vornby). A window under
the region shows the time as its colour (tests/app/recorder_test.py's Clock);
the recorder records 2 s, pauses 1.5 s by its pause hotkey, and so on PAUSES
times, then stops. For each pause the decoded frames say how long after the
pause hotkey the last frame was taken (frames from inside the pause) and how
long after the resume hotkey the first one (ffmpeg's start-up: frames lost).
With --sound, a tone plays on a private PulseAudio server and the recording
takes it from the default output's monitor; the audio and video streams'
lengths at the end are compared.
"""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "app"))
import recorder_test as rt  # noqa: E402

SOUND = "--sound" in sys.argv
PAUSES = int(([a for a in sys.argv[2:] if a.isdigit()] or ["3"])[0])


class PauseBench(rt.AppTest):
    wait_segment, clocked_run = rt.Pausing.wait_segment, rt.Pausing.clocked_run

    def test_measure(self):
        if SOUND:
            rt.play_tone(self, 440)
        run, panel, clock = self.clocked_run("audio_device_name = @DEFAULT_MONITOR@\n" if SOUND else "",
                                             audio=int(SOUND))
        rt.press("record", panel)
        presses = []
        for segment in range(1, PAUSES + 2):
            run.wait_panel(panel, rt.GREEN)
            self.wait_segment(run, segment)
            time.sleep(2)
            if segment > PAUSES:
                break
            presses.append(clock.now())
            rt.hotkey("Control_L", "Alt_L", "p")
            run.wait_panel(panel, rt.YELLOW)
            time.sleep(1.5)
            presses.append(clock.now())
            rt.hotkey("Control_L", "Alt_L", "p")
        rt.press("record", panel)
        video = self.finished(run, panel)
        times = clock.frame_times(video)
        jumps = [i for i in range(len(times) - 1) if times[i + 1] - times[i] > 0.2]
        for k, i in enumerate(jumps):
            print("pause %d: last frame %+.3f s after the pause key, first frame %+.3f s after the resume key"
                  % (k + 1, times[i] - presses[2 * k], times[i + 1] - presses[2 * k + 1]))
        lengths = {kind: float(length) for kind, length in rt.stream_lengths(video).items()}
        print("%d frames, %d pauses found; lengths %s" % (len(times), len(jumps), lengths))
        if SOUND:
            print("audio - video after %d pauses: %+.1f ms" % (PAUSES, 1000 * (lengths["audio"] - lengths["video"])))


if __name__ == "__main__":
    rt.RUN_DIR = sys.argv[1]
    suite = unittest.TestLoader().loadTestsFromTestCase(PauseBench)
    sys.exit(0 if unittest.TextTestRunner(verbosity=0).run(suite).wasSuccessful() else 1)
