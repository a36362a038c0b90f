// The recording and paused states: a recording's segments (segments.h),
// driven by the panel, the hotkeys and the instance channel, and the
// recorded time and size on the panel's text line.
#pragma once

#include "../os/os.h"

// A new recording (named, its first segment started), or the next segment
// of a paused one; false (said on the panel) when it cannot record. A
// paused recording that cannot go on is finished.
bool recording_enter(void);
void recording_frame(void);
// Ends the running segment; the recording stays open until resumed or stopped.
bool paused_enter(void);
void paused_frame(void);
// Ends a running recording when the program quits: asks its encoder to
// finish (once), waits while it makes progress, and kills it when it has
// been silent for 5 s or still busy after 30 s; then hands what was recorded
// to the finishing step.
void recording_quit(void);
// Installed as the crash hook: asks a running encoder to finish its file
// and gives it a moment, since the dying process cannot wait for long.
void recording_crash_hook(u32 kind, const char *description, u64 code, u64 address);
