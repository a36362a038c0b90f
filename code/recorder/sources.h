// What a recording captures in this process and feeds to the encoder through
// pipes: the screen where the encoder's own grabber sees nothing (a Wayland
// desktop), and the computer's own sound where the encoder has no input for
// it (Windows; on Linux the encoder reads the output's monitor itself).
#pragma once

#include "encoder_command.h"

enum SourcesState : u8 {
    SOURCES_WAITING = 0, // the desktop is still being asked for the screen
    SOURCES_READY = 1,   // the inputs are filled in: the encoder can start
    SOURCES_FAILED = 2,  // the recording cannot start; the panel said why
};

// What the settings ask the recording to read: the speaker button, and then
// audio_device_name, the computer's sound (system_sound), or both.
void sources_plan(RecordingInputs *inputs);
// Plans the inputs and starts what this process feeds. READY at once when
// nothing needs asking.
SourcesState sources_start(RecordingInputs *inputs);
// While WAITING, once a frame: READY fills in the screen's pipe and size.
SourcesState sources_poll(RecordingInputs *inputs);
// Once a frame while the encoder runs: says what ended under it (the
// desktop's sharing, the sound device), once each. True when the screen's
// frames ended, so the recording must stop.
bool sources_watch(void);
// After the encoder was asked to stop: a screen that has not sent its first
// frame yet is ended, since an encoder waiting for that frame reads no "q".
void sources_stop_asked(void);
// After the encoder ended (or never started): ends and frees what this
// process fed.
void sources_stop(void);
// When the encoder could not open its sound (no sound server, no output
// device, a device that is not there): the recording goes on without sound
// and the panel says why.
void sources_drop_sound(RecordingInputs *inputs, StrSlice reason);
