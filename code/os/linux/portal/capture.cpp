// The screen capture source: the worker thread that asks the portal, opens
// the PipeWire stream and then writes the frames into the named pipe at the
// chosen rate.
#include "os_lnx_portal.h"

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <new>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static const i32 os_lnx_capture_rate_max = 240;
// The longest single wait of the worker, so a stop is seen soon.
static const i32 os_lnx_capture_slice_ms = 50;
// How long a stop lets the frame being written finish, so the encoder never
// gets half a frame.
static const i64 os_lnx_capture_finish_frame_ns = 1000000000;

i64 os_lnx_monotonic_ns(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (i64)now.tv_sec * 1000000000 + now.tv_nsec;
}

static void os_lnx_sleep_ns(i64 ns) {
    struct timespec wait = {(time_t)(ns / 1000000000), (long)(ns % 1000000000)};
    nanosleep(&wait, nullptr);
}

bool os_capture_needed(void) {
    const char *wayland = getenv("WAYLAND_DISPLAY");
    return wayland && wayland[0];
}

void os_lnx_capture_end(OsCapture *capture, u8 result, const char *format, ...) {
    pthread_mutex_lock(&capture->lock);
    if (capture->status.state != OS_CAPTURE_ENDED) {
        capture->status.state = OS_CAPTURE_ENDED;
        capture->status.result = result;
        va_list args;
        va_start(args, format);
        os_format_v(capture->status.message, (i32)sizeof capture->status.message, format, args);
        va_end(args);
    }
    pthread_cond_broadcast(&capture->frame_arrived);
    pthread_mutex_unlock(&capture->lock);
}

bool os_lnx_capture_ended(OsCapture *capture) {
    pthread_mutex_lock(&capture->lock);
    bool ended = capture->status.state == OS_CAPTURE_ENDED;
    pthread_mutex_unlock(&capture->lock);
    return ended;
}

OsRect os_lnx_capture_crop(OsRect region, OsRect monitor, i32 pixel_width, i32 pixel_height) {
    f64 scale_x = monitor.width > 0 ? (f64)pixel_width / monitor.width : 1.0;
    f64 scale_y = monitor.height > 0 ? (f64)pixel_height / monitor.height : 1.0;
    i64 left = llround((f64)((i64)region.x - monitor.x) * scale_x);
    i64 top = llround((f64)((i64)region.y - monitor.y) * scale_y);
    i64 right = llround((f64)((i64)region.x + region.width - monitor.x) * scale_x);
    i64 bottom = llround((f64)((i64)region.y + region.height - monitor.y) * scale_y);
    return OsRect{(i32)left, (i32)top, (i32)(right - left), (i32)(bottom - top)};
}

static i64 os_lnx_overlap(OsRect a, OsRect b) {
    i64 left = a.x > b.x ? a.x : b.x, top = a.y > b.y ? a.y : b.y;
    i64 right = (i64)a.x + a.width < (i64)b.x + b.width ? (i64)a.x + a.width : (i64)b.x + b.width;
    i64 bottom = (i64)a.y + a.height < (i64)b.y + b.height ? (i64)a.y + a.height : (i64)b.y + b.height;
    return right > left && bottom > top ? (right - left) * (bottom - top) : 0;
}

// Of the monitors the user shared, the one holding most of the region. A
// stream the portal did not place stands for the screen from (0, 0).
static bool os_lnx_capture_choose_stream(OsCapture *capture) {
    const OsLnxPortal &portal = capture->portal;
    i64 best = -1;
    for (i32 i = 0; i < portal.stream_count; i++) {
        const OsLnxPortalStream &stream = portal.streams[i];
        i64 overlap = stream.placed ? os_lnx_overlap(stream.monitor, capture->settings.region) : 0;
        if (overlap > best) {
            best = overlap;
            capture->node = stream.node;
            capture->monitor = stream.placed ? stream.monitor : OsRect{0, 0, 0, 0};
        }
    }
    if (best == 0 && capture->monitor.width > 0) {
        OsRect m = capture->monitor;
        os_lnx_capture_end(capture, OS_CAPTURE_FAILED,
                           "The shared monitor (%i, %i, %ix%i) holds no part of the region", m.x, m.y, m.width,
                           m.height);
        return false;
    }
    return best >= 0;
}

void os_lnx_capture_take_frame(OsCapture *capture, const u8 *pixels, i32 stride, i64 stream_time_ns) {
    i64 now = os_lnx_monotonic_ns();
    pthread_mutex_lock(&capture->lock);
    // The stream's own times, placed on our clock at its first picture and
    // never later than the picture's arrival.
    i64 time = now;
    if (stream_time_ns > 0) {
        if (!capture->time_anchored) {
            capture->time_anchored = true;
            capture->time_offset_ns = now - stream_time_ns;
        }
        time = stream_time_ns + capture->time_offset_ns;
        if (time > now) time = now;
    }
    if (time < capture->last_time_ns) time = capture->last_time_ns;
    capture->last_time_ns = time;
    // The oldest slot the writer is not reading: the newest stays for it.
    i32 pick = -1;
    for (i32 i = 0; i < OS_LNX_FRAME_SLOTS; i++) {
        if (i == capture->writing_slot) continue;
        if (pick < 0 || capture->slots[i].sequence < capture->slots[pick].sequence) pick = i;
    }
    OsLnxFrameSlot *slot = &capture->slots[pick];
    slot->sequence = 0;
    OsRect crop = capture->crop;
    i32 width = capture->stream_width, height = capture->stream_height;
    bool swap = capture->pixel_order == OS_LNX_PIXELS_RGBX;
    capture->status.frames_received++;
    pthread_mutex_unlock(&capture->lock);

    // Outside the monitor stays black; the fourth byte is never read.
    i32 from = crop.x < 0 ? -crop.x : 0;
    i32 to = crop.x + crop.width > width ? width - crop.x : crop.width;
    for (i32 y = 0; y < crop.height; y++) {
        u8 *out = slot->pixels + (i64)y * crop.width * 4;
        i32 source_y = crop.y + y;
        if (source_y < 0 || source_y >= height || from >= to) {
            memset(out, 0, (size_t)crop.width * 4);
            continue;
        }
        const u8 *in = pixels + (i64)source_y * stride + (i64)(crop.x + from) * 4;
        if (from > 0) memset(out, 0, (size_t)from * 4);
        if (!swap) {
            memcpy(out + (i64)from * 4, in, (size_t)(to - from) * 4);
        } else {
            u8 *o = out + (i64)from * 4;
            for (i32 x = 0; x < to - from; x++, o += 4, in += 4) {
                o[0] = in[2];
                o[1] = in[1];
                o[2] = in[0];
                o[3] = 0;
            }
        }
        if (to < crop.width) memset(out + (i64)to * 4, 0, (size_t)(crop.width - to) * 4);
    }

    pthread_mutex_lock(&capture->lock);
    slot->time_ns = time;
    slot->sequence = ++capture->sequence;
    pthread_cond_broadcast(&capture->frame_arrived);
    pthread_mutex_unlock(&capture->lock);
}

// The newest picture taken at or before time, else the oldest there is; -1
// before the first. Under the lock.
static i32 os_lnx_capture_pick_slot(OsCapture *capture, i64 time) {
    i32 newest = -1, oldest = -1;
    for (i32 i = 0; i < OS_LNX_FRAME_SLOTS; i++) {
        const OsLnxFrameSlot &slot = capture->slots[i];
        if (!slot.sequence) continue;
        if (oldest < 0 || slot.sequence < capture->slots[oldest].sequence) oldest = i;
        if (slot.time_ns <= time && (newest < 0 || slot.sequence > capture->slots[newest].sequence)) newest = i;
    }
    return newest >= 0 ? newest : oldest;
}

// Writes the whole frame. Returns 0 when written, else the errno (EPIPE: the
// encoder closed the pipe; EINTR: stopped).
static int os_lnx_capture_write_all(OsCapture *capture, int fd, const u8 *bytes, size_t size) {
    i64 stop_deadline = 0;
    while (size > 0) {
        if (capture->stop.load()) {
            if (!stop_deadline) stop_deadline = os_lnx_monotonic_ns() + os_lnx_capture_finish_frame_ns;
            else if (os_lnx_monotonic_ns() > stop_deadline) return EINTR;
        }
        struct pollfd ready = {fd, POLLOUT, 0};
        if (poll(&ready, 1, os_lnx_capture_slice_ms) < 0 && errno != EINTR) return errno;
        if (ready.revents & (POLLERR | POLLHUP)) return EPIPE;
        if (!(ready.revents & POLLOUT)) continue;
        ssize_t wrote = write(fd, bytes, size);
        if (wrote < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            return errno;
        }
        bytes += wrote;
        size -= (size_t)wrote;
    }
    return 0;
}

// Frame n goes out when n / frame_rate seconds have passed since the first,
// showing the newest picture of that moment: repeated while the desktop
// sends nothing, caught up at once after the encoder was slow to read.
static void os_lnx_capture_write_frames(OsCapture *capture) {
    const i64 period_ns = 1000000000 / capture->status.frame_rate;
    const size_t frame_bytes = (size_t)capture->crop.width * capture->crop.height * 4;
    const char *path = capture->status.pipe_path;
    int fd = -1;
    u64 written = 0;
    i64 first_ns = 0;
    while (!capture->stop.load()) {
        if (os_lnx_portal_closed(capture))
            os_lnx_capture_end(capture, OS_CAPTURE_STREAM_ENDED, "The desktop closed the screen-sharing session");
        if (os_lnx_capture_ended(capture)) break;
        if (fd < 0) {
            // Without a reader yet this fails with ENXIO; the encoder may take
            // a while to start, and a stop must not wait for it.
            fd = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) {
                if (errno != ENXIO) {
                    os_lnx_capture_end(capture, OS_CAPTURE_FAILED, "Cannot open the frame pipe %s: %s", path,
                                       strerror(errno));
                    break;
                }
                os_lnx_sleep_ns(10 * 1000000);
                continue;
            }
        }
        pthread_mutex_lock(&capture->lock);
        i64 now = os_lnx_monotonic_ns();
        i64 due = written ? first_ns + (i64)written * period_ns : now;
        i32 slot = os_lnx_capture_pick_slot(capture, due);
        if (slot < 0 || now < due) {
            // Before the first picture the encoder waits; the recording starts with it.
            i64 wait = slot < 0 ? (i64)os_lnx_capture_slice_ms * 1000000 : due - now;
            if (wait > (i64)os_lnx_capture_slice_ms * 1000000) wait = (i64)os_lnx_capture_slice_ms * 1000000;
            if (slot < 0) {
                struct timespec until;
                clock_gettime(CLOCK_REALTIME, &until);
                i64 ns = until.tv_nsec + wait;
                until.tv_sec += (time_t)(ns / 1000000000);
                until.tv_nsec = (long)(ns % 1000000000);
                pthread_cond_timedwait(&capture->frame_arrived, &capture->lock, &until);
                pthread_mutex_unlock(&capture->lock);
            } else {
                pthread_mutex_unlock(&capture->lock);
                os_lnx_sleep_ns(wait);
            }
            continue;
        }
        if (!written) first_ns = now;
        capture->writing_slot = slot;
        const u8 *pixels = capture->slots[slot].pixels;
        pthread_mutex_unlock(&capture->lock);

        int error = os_lnx_capture_write_all(capture, fd, pixels, frame_bytes);

        pthread_mutex_lock(&capture->lock);
        capture->writing_slot = -1;
        if (!error) capture->status.frames_written = ++written;
        pthread_mutex_unlock(&capture->lock);
        if (error == EPIPE) {
            os_lnx_capture_end(capture, OS_CAPTURE_OK, "The encoder closed its input");
        } else if (error && error != EINTR) {
            os_lnx_capture_end(capture, OS_CAPTURE_FAILED, "Writing frames to the encoder failed: %s",
                               strerror(error));
        }
        if (error) break;
    }
    // An encoder that opened the pipe after the frames ended must not wait in
    // its open for ever: it gets its end of file too, and a later one finds
    // no pipe.
    if (fd < 0) fd = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    unlink(path);
    if (fd >= 0) close(fd);
}

bool os_lnx_capture_make_slots(OsCapture *capture, OsRect crop) {
    if (crop.width <= 0 || crop.height <= 0) {
        os_lnx_capture_end(capture, OS_CAPTURE_FAILED, "The region has no pixels on the shared monitor");
        return false;
    }
    size_t frame_bytes = (size_t)crop.width * crop.height * 4;
    for (i32 i = 0; i < OS_LNX_FRAME_SLOTS; i++) {
        capture->slots[i].pixels = (u8 *)malloc(frame_bytes);
        if (!capture->slots[i].pixels) {
            os_lnx_capture_end(capture, OS_CAPTURE_FAILED, "No memory for %ix%i frames", crop.width, crop.height);
            return false;
        }
    }
    return true;
}

// The status's size and how much of the region the shared monitor holds,
// once the format is known.
static void os_lnx_capture_prepare(OsCapture *capture) {
    pthread_mutex_lock(&capture->lock);
    OsRect region = capture->settings.region;
    OsRect monitor = capture->monitor;
    if (monitor.width <= 0 || monitor.height <= 0)
        monitor = OsRect{0, 0, capture->stream_width, capture->stream_height};
    OsRect crop = capture->crop;
    bool partial = os_lnx_overlap(region, monitor) < (i64)region.width * region.height;
    capture->status.partial = partial;
    capture->status.monitor = monitor;
    capture->status.width = crop.width;
    capture->status.height = crop.height;
    if (partial)
        os_format(capture->status.message, (i32)sizeof capture->status.message,
                  "The region is not all on the shared monitor (%i, %i, %ix%i): only the part on it is recorded",
                  monitor.x, monitor.y, monitor.width, monitor.height);
    pthread_mutex_unlock(&capture->lock);
}

static void *os_lnx_capture_worker(void *argument) {
    OsCapture *capture = (OsCapture *)argument;
    // A write to a pipe the encoder closed must give EPIPE here, never end
    // the process, whatever the program did with SIGPIPE.
    sigset_t pipe_signal;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);

    if (os_lnx_portal_open(capture) && os_lnx_capture_choose_stream(capture) && os_lnx_stream_open(capture)) {
        os_lnx_capture_prepare(capture);
        pthread_mutex_lock(&capture->lock);
        if (capture->status.state == OS_CAPTURE_STARTING) capture->status.state = OS_CAPTURE_READY;
        pthread_mutex_unlock(&capture->lock);
        os_lnx_capture_write_frames(capture);
    }
    os_lnx_stream_close(capture);
    os_lnx_portal_close(capture);
    os_lnx_capture_end(capture, OS_CAPTURE_OK, "Stopped");
    return nullptr;
}

OsCapture *os_capture_start(const OsCaptureSettings *settings) {
    void *memory = os_alloc_zeroed(sizeof(OsCapture));
    if (!memory) return nullptr;
    OsCapture *capture = new (memory) OsCapture();
    capture->settings = *settings;
    i64 token_length = settings->restore_token.data ? settings->restore_token.length : 0;
    if (token_length >= (i64)sizeof capture->restore_token) token_length = 0;
    if (token_length) memcpy(capture->restore_token, settings->restore_token.data, (size_t)token_length);
    capture->settings.restore_token = StrSlice{token_length, capture->restore_token};
    i32 rate = settings->frame_rate;
    capture->status.frame_rate = rate < 1 ? 1 : rate > os_lnx_capture_rate_max ? os_lnx_capture_rate_max : rate;
    capture->writing_slot = -1;
    capture->portal.pipewire_fd = -1;
    pthread_mutex_init(&capture->lock, nullptr);
    pthread_cond_init(&capture->frame_arrived, nullptr);

    // The pipe lives in a folder only this user can enter.
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    struct stat info;
    if (!runtime || runtime[0] != '/' || stat(runtime, &info) != 0 || !S_ISDIR(info.st_mode)) runtime = "/tmp";
    os_format(capture->folder, (i32)sizeof capture->folder, "%s/vornby-capture-XXXXXX", runtime);
    bool made = mkdtemp(capture->folder) != nullptr;
    os_format(capture->status.pipe_path, (i32)sizeof capture->status.pipe_path, "%s/frames", capture->folder);
    if (!made || mkfifo(capture->status.pipe_path, 0600) != 0) {
        int error = errno;
        if (!made) capture->folder[0] = 0;
        os_lnx_capture_end(capture, OS_CAPTURE_FAILED, "Cannot make the frame pipe in %s: %s", runtime,
                           strerror(error));
        capture->status.pipe_path[0] = 0;
        return capture;
    }
    if (pthread_create(&capture->worker, nullptr, os_lnx_capture_worker, capture) != 0) {
        os_lnx_capture_end(capture, OS_CAPTURE_FAILED, "Cannot start the capture thread");
        capture->worker = 0;
    }
    return capture;
}

void os_capture_status(OsCapture *capture, OsCaptureStatus *status) {
    pthread_mutex_lock(&capture->lock);
    *status = capture->status;
    // The pipe is for reading only while the frames can come.
    if (status->state != OS_CAPTURE_READY) status->pipe_path[0] = 0;
    pthread_mutex_unlock(&capture->lock);
}

void os_capture_stop(OsCapture *capture) {
    if (!capture) return;
    capture->stop.store(true);
    pthread_mutex_lock(&capture->lock);
    pthread_cond_broadcast(&capture->frame_arrived);
    pthread_mutex_unlock(&capture->lock);
    if (capture->worker) pthread_join(capture->worker, nullptr);
    if (capture->status.pipe_path[0]) unlink(capture->status.pipe_path);
    if (capture->folder[0]) rmdir(capture->folder);
    for (i32 i = 0; i < OS_LNX_FRAME_SLOTS; i++) free(capture->slots[i].pixels);
    pthread_cond_destroy(&capture->frame_arrived);
    pthread_mutex_destroy(&capture->lock);
    capture->~OsCapture();
    os_free(capture);
}
