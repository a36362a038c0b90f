// The recording state: the encoder job on the region, drained every frame
// and stopped on request.
#pragma once

#include "../os/os.h"

// Names the output file and starts the encoder; false (said on the panel)
// when the recording cannot start.
bool recording_enter(void);
void recording_frame(void);
// Ends a running encoder when the program quits: asks it to finish with
// "q\n" (once), waits while it makes progress, and kills it when it has
// been silent for 5 s or still busy after 30 s.
void recording_quit(void);
// Installed as the crash hook: asks a running encoder to finish its file
// and gives it a moment, since the dying process cannot wait for long.
void recording_crash_hook(u32 kind, const char *description, u64 code, u64 address);
