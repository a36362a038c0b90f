// Screen capture through the desktop: Windows has none here. The encoder's
// own grabber (gdigrab) sees the whole desktop, so os_capture_needed says no,
// and a capture started anyway ends at once as not available.
#include "os_w32.h"

struct OsCapture {
    OsCaptureStatus status;
};

bool os_capture_needed(void) { return false; }

OsCapture *os_capture_start(const OsCaptureSettings *settings) {
    (void)settings;
    OsCapture *capture = (OsCapture *)os_alloc_zeroed(sizeof(OsCapture));
    if (!capture) return nullptr;
    capture->status.state = OS_CAPTURE_ENDED;
    capture->status.result = OS_CAPTURE_NOT_AVAILABLE;
    os_format(capture->status.message, (i32)sizeof capture->status.message,
              "Screen capture through the desktop is not available on Windows");
    return capture;
}

void os_capture_status(OsCapture *capture, OsCaptureStatus *status) { *status = capture->status; }

void os_capture_stop(OsCapture *capture) {
    if (capture) os_free(capture);
}
