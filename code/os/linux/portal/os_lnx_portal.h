// Shared by the screen capture files: the capture record, the desktop
// portal's D-Bus half (portal.cpp), PipeWire's half (stream.cpp) and the
// frame writer (capture.cpp).
#pragma once

#include "../../os_internal.h"

#include <atomic>
#include <pthread.h>

struct DBusConnection;
struct OsLnxStream;

// One monitor stream as the portal's Start answered it.
struct OsLnxPortalStream {
    u32 node;     // the PipeWire node
    bool placed;  // the portal gave the monitor's position and size
    OsRect monitor; // logical (X root) coordinates, when placed
};

enum : i32 { OS_LNX_PORTAL_STREAMS_MAX = 8 };

struct OsLnxPortal {
    DBusConnection *bus;  // a private connection to the session bus
    char sender[128];     // our unique name as the request paths spell it
    char session[256];    // the ScreenCast session's object path
    u32 version;          // of the ScreenCast interface
    u32 request_count;
    int pipewire_fd;      // from OpenPipeWireRemote; -1 before
    OsLnxPortalStream streams[OS_LNX_PORTAL_STREAMS_MAX];
    i32 stream_count;
};

// A picture handed over by PipeWire, cropped to the region.
struct OsLnxFrameSlot {
    u8 *pixels;
    i64 time_ns;   // CLOCK_MONOTONIC time the picture shows
    u64 sequence;  // 0 while empty or being filled
};

enum : i32 { OS_LNX_FRAME_SLOTS = 3 };

// The pixel orders PipeWire may hand us; both become the pipe's BGRx.
enum : u8 { OS_LNX_PIXELS_BGRX = 1, OS_LNX_PIXELS_RGBX = 2 };

struct OsCapture {
    OsCaptureSettings settings;
    char restore_token[128];      // the settings' token, copied
    pthread_t worker;
    pthread_mutex_t lock;         // guards status, the slots and the stream fields
    pthread_cond_t frame_arrived;
    std::atomic<bool> stop;       // os_capture_stop asks every wait to end
    OsCaptureStatus status;
    char folder[200];             // the pipe's private folder

    OsLnxPortal portal;
    OsLnxStream *stream;
    u32 node;                     // the stream used
    OsRect monitor;               // its monitor, logical; width 0 when the portal did not place it
    // Set on PipeWire's thread once the format is known.
    std::atomic<bool> format_known;
    i32 stream_width, stream_height;
    u8 pixel_order;
    OsRect crop;                  // the region in the stream's pixels; its size is the frames'
    OsLnxFrameSlot slots[OS_LNX_FRAME_SLOTS];
    i32 writing_slot;             // the slot the writer reads, -1 for none
    u64 sequence;
    bool time_anchored;
    i64 time_offset_ns;           // stream time to CLOCK_MONOTONIC
    i64 last_time_ns;
};

// Ends the capture with a result and its line, unless it has ended already.
// Takes the lock itself.
void os_lnx_capture_end(OsCapture *capture, u8 result, const char *format, ...);
// The capture has ended (its status says how).
bool os_lnx_capture_ended(OsCapture *capture);
i64 os_lnx_monotonic_ns(void);

// The region in a monitor's pixels: monitor is its logical rectangle, and
// pixel_width x pixel_height its picture's size (fractional scales round to
// the nearest pixel edge).
OsRect os_lnx_capture_crop(OsRect region, OsRect monitor, i32 pixel_width, i32 pixel_height);

// On PipeWire's thread, at the first format, before any picture: the frame
// slots for the crop; false (ended) when it has no pixels or no memory.
bool os_lnx_capture_make_slots(OsCapture *capture, OsRect crop);
// Called on PipeWire's thread with each picture: crops it into a free slot.
void os_lnx_capture_take_frame(OsCapture *capture, const u8 *pixels, i32 stride, i64 stream_time_ns);

// The portal's ScreenCast flow up to OpenPipeWireRemote, blocking (the
// desktop's dialog may be open meanwhile) until it has a PipeWire descriptor
// and streams, the user declines, something fails, or stop is asked. True on
// success; otherwise the capture has ended with the reason, or stop was asked.
bool os_lnx_portal_open(OsCapture *capture);
// Reads what the bus has without waiting; true when the desktop closed the session.
bool os_lnx_portal_closed(OsCapture *capture);
// Closes the session (which ends the stream on the desktop's side) and the bus.
void os_lnx_portal_close(OsCapture *capture);

// Connects to PipeWire on the portal's descriptor and waits for the
// stream's format. True once capture->format_known; otherwise the capture
// has ended with the reason, or stop was asked.
bool os_lnx_stream_open(OsCapture *capture);
void os_lnx_stream_close(OsCapture *capture);
