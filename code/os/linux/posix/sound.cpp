// System sound: not captured here. ffmpeg's pulse input records the default
// output's monitor itself, through PulseAudio or PipeWire's PulseAudio service.
#include "os_lnx_posix.h"

#include <string.h>

struct OsSoundCapture {
    OsSoundStatus status;
};

OsSoundCapture *os_sound_start(u8 source) {
    (void)source;
    OsSoundCapture *capture = (OsSoundCapture *)os_alloc_zeroed(sizeof(OsSoundCapture));
    if (!capture) return nullptr;
    capture->status.state = OS_SOUND_NOT_AVAILABLE;
    const char *reason = "Linux records the computer's sound through ffmpeg's pulse input instead.";
    memcpy(capture->status.reason, reason, strlen(reason) + 1);
    return capture;
}

OsSoundStatus os_sound_status(OsSoundCapture *capture) { return capture->status; }

void os_sound_stop(OsSoundCapture *capture) {
    if (capture) os_free(capture);
}
