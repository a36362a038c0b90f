// System sound: WASAPI capture of the default output device (loopback) or
// input device on a thread of its own, laid on the clock and written as raw
// f32 PCM into a named pipe that the encoder opens as an input.
#include "os_w32.h"

#include <stdarg.h>
#include <string.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

// The thread looks at the device this often: a loopback delivers a packet
// every device period (~10 ms) while something plays, and none in silence.
static const DWORD os_w32_sound_poll_ms = 10;
// Silence is laid only this far behind the clock, so a packet that is merely
// late is not taken for one that never comes.
static const i64 os_w32_sound_hold_frames = OS_SOUND_RATE / 10;
// Laid frames kept while the encoder does not read (10 s), and the most
// handed to one pipe write.
static const i64 os_w32_sound_pending_frames = OS_SOUND_RATE * 10;
static const i64 os_w32_sound_write_frames = OS_SOUND_RATE / 4;
// The device's buffer, in 100-ns units: a thread held up for a moment loses nothing.
static const REFERENCE_TIME os_w32_sound_buffer_hns = 10000000;
static const i64 os_w32_sound_hns_per_second = 10000000;
static const DWORD os_w32_sound_pipe_buffer = 64 * 1024;
static const DWORD os_w32_sound_open_timeout_ms = 5000;
static const DWORD os_w32_sound_flush_ms = 1000;
static const DWORD os_w32_sound_join_ms = 10000;

struct OsSoundCapture {
    u8 source;
    OsMutex lock; // guards status
    OsSoundStatus status;
    HANDLE thread;
    HANDLE stop;  // manual reset: os_sound_stop asks the thread to end
    HANDLE ready; // the thread has opened everything, or failed
    // The capture thread's own from here on.
    IMMDeviceEnumerator *enumerator;
    IMMDevice *device;
    IAudioClient *client;
    IAudioCaptureClient *capture;
    bool convert; // the device gives its mix format, not the stream's
    OsSoundConverter converter;
    f32 *converted; // one packet converted
    HANDLE pipe;
    OVERLAPPED io; // the connect, then each write
    bool writing;
    f32 *outgoing; // the write in flight
    i64 delivered;
    OsSoundTimeline timeline;
    i64 start_hns; // the stream's position 0 on the counter, in 100-ns units
};

static const char *os_w32_sound_device_word(const OsSoundCapture *capture) {
    return capture->source == OS_SOUND_FROM_OUTPUT ? "output" : "input";
}

// Sets the state and its reason. Only the first end counts: a capture that
// failed or ended stays so.
static void os_w32_sound_set(OsSoundCapture *capture, u8 state, const char *format, ...) {
    os_mutex_lock(&capture->lock);
    if (capture->status.state <= OS_SOUND_STREAMING) {
        capture->status.state = state;
        va_list args;
        va_start(args, format);
        os_format_v(capture->status.reason, (i32)sizeof capture->status.reason, format, args);
        va_end(args);
    }
    os_mutex_unlock(&capture->lock);
}

static bool os_w32_sound_fail(OsSoundCapture *capture, const char *format, HRESULT result) {
    char text[sizeof capture->status.reason];
    os_format(text, (i32)sizeof text, format, os_w32_sound_device_word(capture), (u32)result);
    os_w32_sound_set(capture, OS_SOUND_FAILED, "%s", text);
    return false;
}

// On the clock of the stream's own positions (QPC, in 100 ns units).
static i64 os_w32_sound_now_hns(void) { return os_ticks_to_microseconds(os_ticks()) * 10; }

static i64 os_w32_sound_position(const OsSoundCapture *capture, i64 hns) {
    return (hns - capture->start_hns) * OS_SOUND_RATE / os_w32_sound_hns_per_second;
}

// The stream's own format, asked of the engine, which converts from the mix.
static WAVEFORMATEXTENSIBLE os_w32_sound_stream_format(void) {
    WAVEFORMATEXTENSIBLE format = {};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = OS_SOUND_CHANNELS;
    format.Format.nSamplesPerSec = OS_SOUND_RATE;
    format.Format.wBitsPerSample = 32;
    format.Format.nBlockAlign = OS_SOUND_FRAME_BYTES;
    format.Format.nAvgBytesPerSec = OS_SOUND_RATE * OS_SOUND_FRAME_BYTES;
    format.Format.cbSize = sizeof format - sizeof format.Format;
    format.Samples.wValidBitsPerSample = 32;
    format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    // KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, spelled out: ksmedia's GUID macros differ between SDKs.
    format.SubFormat = GUID{WAVE_FORMAT_IEEE_FLOAT, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    return format;
}

// The converter for a mix format; false for a sample type it cannot read.
static bool os_w32_sound_converter(const WAVEFORMATEX *mix, OsSoundConverter *converter) {
    u32 type = mix->wFormatTag;
    i8 centre = -1;
    if (type == WAVE_FORMAT_EXTENSIBLE && mix->cbSize >= sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)) {
        const WAVEFORMATEXTENSIBLE *extensible = (const WAVEFORMATEXTENSIBLE *)mix;
        type = extensible->SubFormat.Data1;
        DWORD mask = extensible->dwChannelMask;
        if (mix->nChannels >= 3 && (mask & SPEAKER_FRONT_CENTER))
            centre = (i8)(((mask & SPEAKER_FRONT_LEFT) ? 1 : 0) + ((mask & SPEAKER_FRONT_RIGHT) ? 1 : 0));
    }
    u16 bits = mix->wBitsPerSample;
    bool is_float = type == WAVE_FORMAT_IEEE_FLOAT;
    bool readable = is_float ? bits == 32 : type == WAVE_FORMAT_PCM && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    if (!readable || !mix->nChannels || mix->nBlockAlign != mix->nChannels * (bits / 8)) return false;
    *converter = os_sound_converter(mix->nSamplesPerSec, mix->nChannels, bits, is_float, centre);
    return true;
}

static HRESULT os_w32_sound_activate(OsSoundCapture *capture) {
    if (capture->client) capture->client->Release();
    capture->client = nullptr;
    return capture->device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, (void **)&capture->client);
}

// The stream's format where the engine converts (AUTOCONVERTPCM), else the
// device's mix format converted here: older systems refuse anything else.
static bool os_w32_sound_initialize(OsSoundCapture *capture) {
    DWORD flags = capture->source == OS_SOUND_FROM_OUTPUT ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0;
    HRESULT result = os_w32_sound_activate(capture);
    if (FAILED(result)) return os_w32_sound_fail(capture, "The %s device cannot be opened (0x%08X).", result);
    WAVEFORMATEXTENSIBLE wanted = os_w32_sound_stream_format();
    result = capture->client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                                         flags | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY,
                                         os_w32_sound_buffer_hns, 0, &wanted.Format, nullptr);
    if (SUCCEEDED(result)) return true;
    result = os_w32_sound_activate(capture);
    WAVEFORMATEX *mix = nullptr;
    if (SUCCEEDED(result)) result = capture->client->GetMixFormat(&mix);
    if (FAILED(result)) return os_w32_sound_fail(capture, "The %s device cannot be opened (0x%08X).", result);
    capture->convert = os_w32_sound_converter(mix, &capture->converter);
    result = capture->convert ? capture->client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, os_w32_sound_buffer_hns, 0, mix, nullptr)
                              : AUDCLNT_E_UNSUPPORTED_FORMAT;
    CoTaskMemFree(mix);
    if (FAILED(result)) return os_w32_sound_fail(capture, "The %s device's sound format cannot be recorded (0x%08X).", result);
    return true;
}

static bool os_w32_sound_open(OsSoundCapture *capture) {
    HRESULT result = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                      (void **)&capture->enumerator);
    if (FAILED(result)) return os_w32_sound_fail(capture, "Windows' audio service cannot be reached for the %s device (0x%08X).", result);
    result = capture->enumerator->GetDefaultAudioEndpoint(capture->source == OS_SOUND_FROM_OUTPUT ? eRender : eCapture,
                                                          eConsole, &capture->device);
    if (result == E_NOTFOUND) return os_w32_sound_fail(capture, "There is no %s device (0x%08X).", result);
    if (FAILED(result)) return os_w32_sound_fail(capture, "The default %s device cannot be found (0x%08X).", result);
    if (!os_w32_sound_initialize(capture)) return false;
    result = capture->client->GetService(__uuidof(IAudioCaptureClient), (void **)&capture->capture);
    if (FAILED(result)) {
        const char *why = capture->source == OS_SOUND_FROM_OUTPUT
                              ? "This system cannot capture what the %s device plays: no loopback (0x%08X)."
                              : "The %s device cannot be read (0x%08X).";
        return os_w32_sound_fail(capture, why, result);
    }
    UINT32 buffer_frames = 0;
    result = capture->client->GetBufferSize(&buffer_frames);
    if (FAILED(result)) return os_w32_sound_fail(capture, "The %s device's buffer cannot be read (0x%08X).", result);

    capture->timeline.pending_capacity = os_w32_sound_pending_frames;
    capture->timeline.pending = (f32 *)os_alloc((u32)(os_w32_sound_pending_frames * OS_SOUND_FRAME_BYTES));
    capture->outgoing = (f32 *)os_alloc((u32)(os_w32_sound_write_frames * OS_SOUND_FRAME_BYTES));
    if (capture->convert)
        capture->converted =
            (f32 *)os_alloc((u32)(os_sound_converted_capacity(&capture->converter, buffer_frames) * OS_SOUND_FRAME_BYTES));
    if (!capture->timeline.pending || !capture->outgoing || (capture->convert && !capture->converted))
        return os_w32_sound_fail(capture, "No memory for the %s device's sound (0x%08X).", E_OUTOFMEMORY);

    static LONG counter;
    char name[sizeof capture->status.pipe_name];
    os_format(name, (i32)sizeof name, "\\\\.\\pipe\\vornby-sound-%u-%i", (u32)GetCurrentProcessId(),
              (i32)InterlockedIncrement(&counter));
    OS_W32_WIDE(wide, name);
    capture->pipe = CreateNamedPipeW(wide, PIPE_ACCESS_OUTBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, os_w32_sound_pipe_buffer, 0,
                                     0, nullptr);
    if (capture->pipe == INVALID_HANDLE_VALUE)
        return os_w32_sound_fail(capture, "The pipe for the %s device's sound cannot be made (0x%08X).",
                                 HRESULT_FROM_WIN32(GetLastError()));
    os_mutex_lock(&capture->lock);
    memcpy(capture->status.pipe_name, name, sizeof name);
    os_mutex_unlock(&capture->lock);
    return true;
}

// A packet that is not in the stream's format becomes so in `converted`.
static HRESULT os_w32_sound_drain(OsSoundCapture *capture) {
    for (;;) {
        UINT32 next = 0;
        HRESULT result = capture->capture->GetNextPacketSize(&next);
        if (FAILED(result) || next == 0) return result;
        BYTE *data = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        UINT64 captured_hns = 0;
        result = capture->capture->GetBuffer(&data, &frames, &flags, nullptr, &captured_hns);
        if (FAILED(result) || result == AUDCLNT_S_BUFFER_EMPTY) return result;
        bool silent = (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
        const f32 *laid = silent ? nullptr : (const f32 *)data;
        i64 count = frames;
        if (capture->convert) {
            count = os_sound_convert(&capture->converter, data, frames, capture->converted);
            if (silent) memset(capture->converter.previous, 0, sizeof capture->converter.previous);
            else laid = capture->converted;
        }
        bool timed = !(flags & AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR) && captured_hns;
        i64 start = timed ? os_w32_sound_position(capture, (i64)captured_hns) : capture->timeline.laid;
        os_sound_timeline_lay(&capture->timeline, start, laid, count);
        result = capture->capture->ReleaseBuffer(frames);
        if (FAILED(result)) return result;
    }
}

// The write in flight: 1 done (or none), 0 still going, -1 failed with the
// system's error in *error.
static i32 os_w32_sound_write_done(OsSoundCapture *capture, DWORD *error) {
    if (!capture->writing) return 1;
    DWORD written = 0;
    if (!GetOverlappedResult(capture->pipe, &capture->io, &written, FALSE)) {
        *error = GetLastError();
        if (*error == ERROR_IO_INCOMPLETE) return 0;
        capture->writing = false;
        return -1;
    }
    capture->writing = false;
    capture->delivered += written / OS_SOUND_FRAME_BYTES;
    return 1;
}

// Hands the first laid frames to the pipe; false with *error when it refused.
static bool os_w32_sound_write_next(OsSoundCapture *capture, DWORD *error) {
    i64 frames = capture->timeline.pending_count < os_w32_sound_write_frames ? capture->timeline.pending_count
                                                                              : os_w32_sound_write_frames;
    if (capture->writing || frames == 0) return true;
    memcpy(capture->outgoing, capture->timeline.pending, (size_t)frames * OS_SOUND_FRAME_BYTES);
    os_sound_timeline_take(&capture->timeline, frames);
    // Done at once or pending, the result comes through the OVERLAPPED.
    if (!WriteFile(capture->pipe, capture->outgoing, (DWORD)(frames * OS_SOUND_FRAME_BYTES), nullptr, &capture->io) &&
        GetLastError() != ERROR_IO_PENDING) {
        *error = GetLastError();
        return false;
    }
    capture->writing = true;
    return true;
}

static void os_w32_sound_publish(OsSoundCapture *capture) {
    os_mutex_lock(&capture->lock);
    capture->status.frames_delivered = capture->delivered;
    capture->status.frames_silence = capture->timeline.silence;
    capture->status.frames_dropped = capture->timeline.dropped;
    os_mutex_unlock(&capture->lock);
}

// What was laid goes out as far as the encoder takes it within a second;
// a write still waiting then is cancelled.
static void os_w32_sound_flush(OsSoundCapture *capture) {
    ULONGLONG end = GetTickCount64() + os_w32_sound_flush_ms;
    DWORD error = 0;
    for (;;) {
        ULONGLONG now = GetTickCount64();
        if (capture->writing && (now >= end || WaitForSingleObject(capture->io.hEvent, (DWORD)(end - now)) != WAIT_OBJECT_0))
            break;
        if (os_w32_sound_write_done(capture, &error) < 0 || capture->timeline.pending_count == 0 ||
            !os_w32_sound_write_next(capture, &error))
            break;
    }
    if (capture->writing) {
        DWORD written = 0;
        CancelIo(capture->pipe);
        GetOverlappedResult(capture->pipe, &capture->io, &written, TRUE);
        capture->writing = false;
    }
}

static void os_w32_sound_stream(OsSoundCapture *capture) {
    HANDLE waits[2] = {capture->stop, capture->io.hEvent};
    if (!ConnectNamedPipe(capture->pipe, &capture->io)) {
        DWORD error = GetLastError(), ignored = 0;
        if (error == ERROR_IO_PENDING && WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
            CancelIo(capture->pipe);
            GetOverlappedResult(capture->pipe, &capture->io, &ignored, TRUE);
            os_w32_sound_set(capture, OS_SOUND_ENDED, "The sound capture was stopped before the encoder opened it.");
            return;
        }
        if (error == ERROR_IO_PENDING && !GetOverlappedResult(capture->pipe, &capture->io, &ignored, FALSE))
            error = GetLastError();
        else if (error == ERROR_IO_PENDING)
            error = ERROR_PIPE_CONNECTED;
        if (error != ERROR_PIPE_CONNECTED) {
            os_w32_sound_set(capture, OS_SOUND_FAILED, "The encoder could not open the sound pipe (error %u).", (u32)error);
            return;
        }
    }
    capture->start_hns = os_w32_sound_now_hns();
    HRESULT result = capture->client->Start();
    if (FAILED(result)) {
        os_w32_sound_set(capture, OS_SOUND_DEVICE_LOST, "The %s device stopped answering (0x%08X).",
                         os_w32_sound_device_word(capture), (u32)result);
        return;
    }
    os_w32_sound_set(capture, OS_SOUND_STREAMING, "");

    bool flush = true;
    DWORD error = 0;
    for (;;) {
        if (WaitForMultipleObjects(capture->writing ? 2 : 1, waits, FALSE, os_w32_sound_poll_ms) == WAIT_OBJECT_0) {
            os_w32_sound_set(capture, OS_SOUND_ENDED, "The sound capture was stopped.");
            break;
        }
        if (os_w32_sound_write_done(capture, &error) < 0) {
            flush = false;
            break;
        }
        result = os_w32_sound_drain(capture);
        if (FAILED(result)) {
            const char *what = result == AUDCLNT_E_DEVICE_INVALIDATED ? "The %s device went away during the recording (0x%08X)."
                                                                      : "The %s device stopped answering (0x%08X).";
            os_w32_sound_set(capture, OS_SOUND_DEVICE_LOST, what, os_w32_sound_device_word(capture), (u32)result);
            break;
        }
        i64 now = os_w32_sound_position(capture, os_w32_sound_now_hns());
        os_sound_timeline_fill(&capture->timeline, now - os_w32_sound_hold_frames);
        if (!os_w32_sound_write_next(capture, &error)) {
            flush = false;
            break;
        }
        os_w32_sound_publish(capture);
    }
    capture->client->Stop();
    if (flush) os_w32_sound_flush(capture);
    // A broken or closing pipe is the encoder letting go, the usual end.
    if (error && error != ERROR_BROKEN_PIPE && error != ERROR_NO_DATA && error != ERROR_PIPE_NOT_CONNECTED)
        os_w32_sound_set(capture, OS_SOUND_ENDED, "Writing the sound to the encoder failed (error %u).", (u32)error);
    os_w32_sound_set(capture, OS_SOUND_ENDED, "The encoder closed the sound stream.");
}

static DWORD WINAPI os_w32_sound_thread(void *argument) {
    OsSoundCapture *capture = (OsSoundCapture *)argument;
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    bool opened = os_w32_sound_open(capture);
    SetEvent(capture->ready);
    if (opened) os_w32_sound_stream(capture);
    os_w32_sound_publish(capture);
    if (capture->pipe != INVALID_HANDLE_VALUE) CloseHandle(capture->pipe);
    capture->pipe = INVALID_HANDLE_VALUE;
    if (capture->capture) capture->capture->Release();
    if (capture->client) capture->client->Release();
    if (capture->device) capture->device->Release();
    if (capture->enumerator) capture->enumerator->Release();
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

static void os_w32_sound_free(OsSoundCapture *capture) {
    HANDLE handles[4] = {capture->thread, capture->stop, capture->ready, capture->io.hEvent};
    for (HANDLE handle : handles)
        if (handle) CloseHandle(handle);
    if (capture->timeline.pending) os_free(capture->timeline.pending);
    if (capture->outgoing) os_free(capture->outgoing);
    if (capture->converted) os_free(capture->converted);
    os_mutex_destroy(&capture->lock);
    os_free(capture);
}

OsSoundCapture *os_sound_start(u8 source) {
    OsSoundCapture *capture = (OsSoundCapture *)os_alloc_zeroed(sizeof(OsSoundCapture));
    if (!capture) return nullptr;
    capture->source = source;
    capture->lock = os_mutex_init();
    capture->pipe = INVALID_HANDLE_VALUE;
    capture->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    capture->ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    capture->io.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (capture->stop && capture->ready && capture->io.hEvent)
        capture->thread = CreateThread(nullptr, 0, os_w32_sound_thread, capture, 0, nullptr);
    if (!capture->thread) {
        os_w32_sound_free(capture);
        return nullptr;
    }
    if (WaitForSingleObject(capture->ready, os_w32_sound_open_timeout_ms) != WAIT_OBJECT_0) {
        SetEvent(capture->stop);
        os_w32_sound_set(capture, OS_SOUND_FAILED, "The %s device did not answer within %u s.",
                         os_w32_sound_device_word(capture), (u32)(os_w32_sound_open_timeout_ms / 1000));
    }
    return capture;
}

OsSoundStatus os_sound_status(OsSoundCapture *capture) {
    os_mutex_lock(&capture->lock);
    OsSoundStatus status = capture->status;
    os_mutex_unlock(&capture->lock);
    return status;
}

void os_sound_stop(OsSoundCapture *capture) {
    if (!capture) return;
    SetEvent(capture->stop);
    // A thread stuck in a driver keeps its record: freeing it under the
    // thread would be worse than the leak.
    if (WaitForSingleObject(capture->thread, os_w32_sound_join_ms) != WAIT_OBJECT_0) return;
    os_w32_sound_free(capture);
}
