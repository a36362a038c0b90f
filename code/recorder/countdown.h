// The countdown state: the start delay running down before a recording.
#pragma once

// Starts the count at the configured delay.
bool countdown_enter(void);
// Counts countdown_ms up to 0 and starts the recording; record or the
// hotkey goes back to idle, close quits.
void countdown_frame(void);
