// The share copy: after a recording, a second encoder job converts the
// lossless file into one that plays everywhere (H.264 yuv420p MP4 or GIF).
// Conversions queue and run one at a time while the recorder goes on.
#pragma once

#include "../os/os.h"
#include "text_builder.h"

// The copy's path for a recording path: "name.mp4" gives "name.share.mp4"
// (MP4) or "name.gif" (GIF), and from number 2 on "name.share (2).mp4" or
// "name (2).gif"; never the recording's own path.
void share_copy_path(TextBuilder *copy, const char *recording, u8 kind, i32 number);

// Queues a conversion of a finished recording (nothing when the setting is
// none); it starts at the next share_copy_step when none is running. While
// the recording's confirmation (saved_text) is still on the panel, the
// copy's progress is added to it rather than put in its place.
void share_copy_queue(const char *recording, i32 fps, i32 duration_ms, const char *saved_text);
// Every frame, in every state: reads progress, finishes and starts conversions.
void share_copy_step(void);
// A conversion is running or queued.
bool share_copy_busy(void);
// At exit: gives a running conversion a few seconds, then stops it and
// removes its partial file; queued ones are dropped.
void share_copy_quit(void);
