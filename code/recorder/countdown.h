// The countdown state: the start delay running down before a recording.
#pragma once

// Counts countdown_ms up to 0 and starts the recording; record goes back to
// idle, close quits.
void countdown_frame(void);
