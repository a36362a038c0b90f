// PipeWire's half of the screen capture: a video stream on the descriptor
// the portal opened, consumed on PipeWire's own loop thread. We ask for
// shared-memory buffers (never dmabuf) in a 32-bit RGB order and for each
// buffer's header, whose time stamps the frames.
#include "os_lnx_portal.h"

#include <errno.h>
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static const i64 stream_format_timeout_ns = 5000000000;
static const u32 stream_size_max = 16384;
static const u32 stream_rate_max = 1000;

struct OsLnxStream {
    OsCapture *capture;
    pw_thread_loop *loop;
    pw_context *context;
    pw_core *core;
    pw_stream *stream;
    pw_registry *registry;
    spa_hook core_listener;
    spa_hook stream_listener;
    spa_hook registry_listener;
};

// Before the frames flow a failure is PipeWire's; afterwards the desktop ended the stream.
static void stream_end(OsLnxStream *s, const char *what, const char *detail) {
    u8 result = s->capture->format_known.load() ? OS_CAPTURE_STREAM_ENDED : OS_CAPTURE_NO_PIPEWIRE;
    os_lnx_capture_end(s->capture, result, "%s%s%s", what, detail && detail[0] ? ": " : "", detail ? detail : "");
}

static void stream_on_core_error(void *data, uint32_t id, int, int result, const char *message) {
    OsLnxStream *s = (OsLnxStream *)data;
    if (id == PW_ID_CORE) stream_end(s, "The PipeWire connection failed", message ? message : strerror(-result));
}

// The desktop's node going away (its portal ended, the monitor went) leaves
// our stream merely paused; the registry says it for good.
static void stream_on_global_remove(void *data, uint32_t id) {
    OsLnxStream *s = (OsLnxStream *)data;
    if (id == s->capture->node && !s->capture->stop.load()) stream_end(s, "The desktop ended the screen stream", nullptr);
}

static void stream_on_state(void *data, pw_stream_state, pw_stream_state state, const char *error) {
    OsLnxStream *s = (OsLnxStream *)data;
    if (s->capture->stop.load()) return;
    if (state == PW_STREAM_STATE_ERROR) stream_end(s, "The screen stream failed", error);
    else if (state == PW_STREAM_STATE_UNCONNECTED) stream_end(s, "The desktop ended the screen stream", nullptr);
}

static void stream_on_param(void *data, uint32_t id, const spa_pod *param) {
    OsLnxStream *s = (OsLnxStream *)data;
    OsCapture *capture = s->capture;
    if (!param || id != SPA_PARAM_Format) return;
    uint32_t media_type = 0, media_subtype = 0;
    spa_video_info_raw raw = {};
    if (spa_format_parse(param, &media_type, &media_subtype) < 0 || media_type != SPA_MEDIA_TYPE_video ||
        media_subtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &raw) < 0)
        return;
    u8 order = raw.format == SPA_VIDEO_FORMAT_BGRx || raw.format == SPA_VIDEO_FORMAT_BGRA   ? OS_LNX_PIXELS_BGRX
               : raw.format == SPA_VIDEO_FORMAT_RGBx || raw.format == SPA_VIDEO_FORMAT_RGBA ? OS_LNX_PIXELS_RGBX
                                                                                           : 0;
    if (!order) {
        stream_end(s, "The screen stream's pixel format cannot be read", nullptr);
        return;
    }
    i32 width = (i32)raw.size.width, height = (i32)raw.size.height;
    OsRect monitor = capture->monitor.width > 0 ? capture->monitor : OsRect{0, 0, width, height};
    OsRect crop = os_lnx_capture_crop(capture->settings.region, monitor, width, height);
    pthread_mutex_lock(&capture->lock);
    bool first = !capture->format_known.load();
    // The encoder's frame size is fixed: a monitor that changes its size
    // under the region ends the recording.
    bool same = first || (crop.width == capture->crop.width && crop.height == capture->crop.height);
    if (same) {
        capture->stream_width = width;
        capture->stream_height = height;
        capture->pixel_order = order;
        capture->crop = crop;
    }
    pthread_mutex_unlock(&capture->lock);
    if (!same) {
        os_lnx_capture_end(capture, OS_CAPTURE_STREAM_ENDED, "The shared monitor changed its size to %ix%i", width,
                           height);
        return;
    }
    // Pictures follow at once, on this thread: their slots must be there.
    if (first && !os_lnx_capture_make_slots(capture, crop)) return;

    u8 buffer[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod *params[2];
    params[0] = (const spa_pod *)spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd)));
    params[1] = (const spa_pod *)spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header)));
    pw_stream_update_params(s->stream, params, 2);
    capture->format_known.store(true);
}

static void stream_on_process(void *data) {
    OsLnxStream *s = (OsLnxStream *)data;
    pw_buffer *buffer = pw_stream_dequeue_buffer(s->stream);
    if (!buffer) return;
    spa_buffer *b = buffer->buffer;
    spa_data *plane = &b->datas[0];
    spa_meta_header *header = (spa_meta_header *)spa_buffer_find_meta_data(b, SPA_META_Header, sizeof *header);
    bool corrupt = (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED)) ||
                   (plane->chunk->flags & SPA_CHUNK_FLAG_CORRUPTED);
    // Empty buffers carry only the pointer's moves; there is no picture in them.
    if (s->capture->format_known.load() && plane->data && plane->chunk->size > 0 && !corrupt) {
        OsCapture *capture = s->capture;
        i32 stride = plane->chunk->stride > 0 ? plane->chunk->stride : capture->stream_width * 4;
        u64 needed = (u64)plane->chunk->offset + (u64)stride * (u64)capture->stream_height;
        if (needed <= plane->maxsize) {
            const u8 *pixels = (const u8 *)plane->data + plane->chunk->offset;
            os_lnx_capture_take_frame(capture, pixels, stride, header && header->pts > 0 ? header->pts : 0);
        }
    }
    pw_stream_queue_buffer(s->stream, buffer);
}

static const pw_core_events stream_core_events = [] {
    pw_core_events events = {};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = stream_on_core_error;
    return events;
}();

static const pw_registry_events stream_registry_events = [] {
    pw_registry_events events = {};
    events.version = PW_VERSION_REGISTRY_EVENTS;
    events.global_remove = stream_on_global_remove;
    return events;
}();

static const pw_stream_events stream_events = [] {
    pw_stream_events events = {};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = stream_on_state;
    events.param_changed = stream_on_param;
    events.process = stream_on_process;
    return events;
}();

bool os_lnx_stream_open(OsCapture *capture) {
    static bool initialised;
    if (!initialised) pw_init(nullptr, nullptr);
    initialised = true;
    OsLnxStream *s = (OsLnxStream *)os_alloc_zeroed(sizeof(OsLnxStream));
    if (!s) {
        os_lnx_capture_end(capture, OS_CAPTURE_FAILED, "No memory for the screen stream");
        return false;
    }
    s->capture = capture;
    capture->stream = s;
    s->loop = pw_thread_loop_new("vornby-capture", nullptr);
    s->context = s->loop ? pw_context_new(pw_thread_loop_get_loop(s->loop), nullptr, 0) : nullptr;
    if (!s->context || pw_thread_loop_start(s->loop) < 0) {
        os_lnx_capture_end(capture, OS_CAPTURE_NO_PIPEWIRE, "PipeWire cannot start: %s", strerror(errno));
        return false;
    }
    pw_thread_loop_lock(s->loop);
    // The core owns the descriptor from here on.
    s->core = pw_context_connect_fd(s->context, capture->portal.pipewire_fd, nullptr, 0);
    capture->portal.pipewire_fd = -1;
    if (!s->core) {
        pw_thread_loop_unlock(s->loop);
        os_lnx_capture_end(capture, OS_CAPTURE_NO_PIPEWIRE, "Cannot connect to PipeWire: %s", strerror(errno));
        return false;
    }
    pw_core_add_listener(s->core, &s->core_listener, &stream_core_events, s);
    s->registry = pw_core_get_registry(s->core, PW_VERSION_REGISTRY, 0);
    if (s->registry) pw_registry_add_listener(s->registry, &s->registry_listener, &stream_registry_events, s);
    s->stream = pw_stream_new(s->core, "Vornby",
                              pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!s->stream) {
        pw_thread_loop_unlock(s->loop);
        os_lnx_capture_end(capture, OS_CAPTURE_NO_PIPEWIRE, "Cannot make a PipeWire stream: %s", strerror(errno));
        return false;
    }
    pw_stream_add_listener(s->stream, &s->stream_listener, &stream_events, s);

    u8 buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_rectangle size_default = {1920, 1080}, size_min = {1, 1}, size_max = {stream_size_max, stream_size_max};
    spa_fraction rate_default = {0, 1}, rate_min = {0, 1}, rate_max = {stream_rate_max, 1};
    // The desktop need not send more pictures than we write frames.
    spa_fraction most_default = {(u32)capture->status.frame_rate, 1}, most_min = {1, 1};
    const spa_pod *params[1];
    params[0] = (const spa_pod *)spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size_default, &size_min, &size_max),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate_default, &rate_min, &rate_max),
        SPA_FORMAT_VIDEO_maxFramerate, SPA_POD_CHOICE_RANGE_Fraction(&most_default, &most_min, &rate_max));
    int connected = pw_stream_connect(s->stream, PW_DIRECTION_INPUT, capture->node,
                                      (pw_stream_flags)(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                                      params, 1);
    pw_thread_loop_unlock(s->loop);
    if (connected < 0) {
        os_lnx_capture_end(capture, OS_CAPTURE_NO_PIPEWIRE, "Cannot connect the screen stream: %s",
                           strerror(-connected));
        return false;
    }

    i64 deadline = os_lnx_monotonic_ns() + stream_format_timeout_ns;
    while (!capture->format_known.load() && !capture->stop.load()) {
        if (os_lnx_capture_ended(capture)) return false;
        if (os_lnx_monotonic_ns() > deadline) {
            os_lnx_capture_end(capture, OS_CAPTURE_NO_PIPEWIRE, "PipeWire gave the screen stream no format");
            return false;
        }
        struct timespec wait = {0, 10 * 1000000};
        nanosleep(&wait, nullptr);
    }
    return capture->format_known.load();
}

void os_lnx_stream_close(OsCapture *capture) {
    OsLnxStream *s = capture->stream;
    if (!s) return;
    if (s->loop) {
        pw_thread_loop_lock(s->loop);
        // Our own disconnection is no news for the status.
        if (s->stream) {
            spa_hook_remove(&s->stream_listener);
            pw_stream_destroy(s->stream);
        }
        if (s->registry) {
            spa_hook_remove(&s->registry_listener);
            pw_proxy_destroy((pw_proxy *)s->registry);
        }
        if (s->core) {
            spa_hook_remove(&s->core_listener);
            pw_core_disconnect(s->core);
        }
        pw_thread_loop_unlock(s->loop);
        pw_thread_loop_stop(s->loop);
    }
    if (s->context) pw_context_destroy(s->context);
    if (s->loop) pw_thread_loop_destroy(s->loop);
    os_free(s);
    capture->stream = nullptr;
}
