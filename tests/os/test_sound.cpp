// The system sound: the stream's timeline and conversion on plain memory;
// on Windows (Wine) the capture itself against the private PulseAudio server
// that tests/app/sound.py starts, this test reading the pipe as the encoder would.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "os/os.h"
#include "os/os_internal.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>
#endif

static const double pi = 3.14159265358979323846;
static const double rate = OS_SOUND_RATE;

// The amplitude of one frequency in every step-th sample (Goertzel).
static double tone_level(const f32 *samples, size_t count, size_t step, double frequency) {
    double coefficient = 2 * cos(2 * pi * frequency / rate), before = 0, earlier = 0;
    for (size_t i = 0; i < count; i += step) {
        double next = samples[i] + coefficient * before - earlier;
        earlier = before;
        before = next;
    }
    double power = before * before + earlier * earlier - coefficient * before * earlier;
    return 2 * sqrt(power > 0 ? power : 0) / (double)(count / step);
}

TEST(Sound, TimelineFillsGapsDropsOverlapsAndKeepsTheClockWhenFull) {
    const i64 jitter = OS_SOUND_JITTER_FRAMES;
    std::vector<f32> pending(3000 * OS_SOUND_CHANNELS), packet(2000 * OS_SOUND_CHANNELS, 0.5f);
    OsSoundTimeline timeline = {pending.data(), 0, 3000, 0, 0, 0};
    os_sound_timeline_lay(&timeline, -100, packet.data(), 1000); // partly from before the start
    os_sound_timeline_lay(&timeline, 900 + jitter, packet.data(), 100); // within the jitter: follows on
    EXPECT_EQ(timeline.laid, 1000);
    os_sound_timeline_lay(&timeline, 1000 - jitter - 50, packet.data(), 2000); // overlaps
    EXPECT_EQ(timeline.laid, 1000 + 2000 - jitter - 50);
    EXPECT_EQ(timeline.dropped, 100 + jitter + 50);
    os_sound_timeline_take(&timeline, 1000);
    i64 laid = timeline.laid;
    os_sound_timeline_lay(&timeline, laid + 2 * jitter, packet.data(), 10); // after a silent stretch
    EXPECT_EQ(timeline.silence, 2 * jitter);
    EXPECT_EQ(pending[(size_t)(laid - 1000) * 2], 0.0f);
    EXPECT_EQ(pending[(size_t)(timeline.pending_count - 1) * 2], 0.5f);
    i64 dropped = timeline.dropped, room = 3000 - timeline.pending_count, before = timeline.laid;
    os_sound_timeline_fill(&timeline, laid + 5000); // past the room: the clock still counts it
    EXPECT_EQ(timeline.laid, laid + 5000);
    EXPECT_EQ(timeline.pending_count, 3000);
    EXPECT_EQ(timeline.dropped, dropped + laid + 5000 - before - room);
}

TEST(Sound, ConverterResamplesAcrossPacketsAndFoldsChannels) {
    // A second of 1 kHz, 44.1 kHz mono 16-bit, in two packets: a second at 48 kHz stereo.
    std::vector<i16> mono(44100);
    for (size_t i = 0; i < mono.size(); i++) mono[i] = (i16)lround(16384 * sin(2 * pi * 1000 * (double)i / 44100));
    OsSoundConverter converter = os_sound_converter(44100, 1, 16, false, -1);
    std::vector<f32> out((size_t)os_sound_converted_capacity(&converter, 44100) * 2);
    i64 made = os_sound_convert(&converter, (const u8 *)mono.data(), 20000, out.data());
    made += os_sound_convert(&converter, (const u8 *)(mono.data() + 20000), 24100, out.data() + made * 2);
    EXPECT_NEAR(made, OS_SOUND_RATE, 1);
    EXPECT_NEAR(tone_level(out.data(), (size_t)made * 2, 2, 1000), 0.5, 0.01);
    EXPECT_NEAR(tone_level(out.data() + 1, (size_t)made * 2, 2, 1000), 0.5, 0.01);
    EXPECT_LT(tone_level(out.data(), (size_t)made * 2, 2, 1100), 0.01);

    // 5.1 floats: the centre goes into both sides at -3 dB; 24-bit integers keep their sign.
    f32 surround[6] = {0.1f, 0.2f, 1.0f, 0.5f, 0.5f, 0.5f};
    converter = os_sound_converter(OS_SOUND_RATE, 6, 32, true, 2);
    ASSERT_EQ(os_sound_convert(&converter, (const u8 *)surround, 1, out.data()), 1);
    EXPECT_NEAR(out[0], 0.1f + 0.7071f, 1e-4);
    EXPECT_NEAR(out[1], 0.2f + 0.7071f, 1e-4);
    u8 deep[6] = {0x00, 0x00, 0xC0, 0x00, 0x00, 0x40}; // -0.5, +0.5
    converter = os_sound_converter(OS_SOUND_RATE, 2, 24, false, -1);
    ASSERT_EQ(os_sound_convert(&converter, deep, 1, out.data()), 1);
    EXPECT_EQ(out[0], -0.5f);
    EXPECT_EQ(out[1], 0.5f);
}

#ifdef _WIN32
template <typename Done> static bool wait_for(Done done, i64 timeout_ms = 30000) {
    for (i64 end = os_time_milliseconds() + timeout_ms; !done(); os_sleep_ms(10))
        if (os_time_milliseconds() > end) return false;
    return true;
}

// The test server's own tool: a Linux program, started through Wine.
static void pactl(const std::string &arguments) {
    std::string command = "start.exe /wait /unix /usr/bin/pactl " + arguments;
    ASSERT_EQ(os_run_process(StrSlice{(i64)command.size(), (char *)command.c_str()}, [](StrSlice) {}, false), 0);
}

// A second of 1 kHz at half scale, 48 kHz 16-bit stereo, as a WAV file in memory.
static std::vector<u8> tone_wave(void) {
    const u32 data_bytes = OS_SOUND_RATE * 4;
    std::vector<u8> wave(44 + data_bytes);
    u32 header[11] = {0x46464952, 36 + data_bytes, 0x45564157, 0x20746d66, 16, 0x00020001, OS_SOUND_RATE,
                      OS_SOUND_RATE * 4, 0x00100004, 0x61746164, data_bytes};
    memcpy(wave.data(), header, sizeof header);
    for (u32 i = 0; i < OS_SOUND_RATE; i++) {
        i16 value = (i16)lround(16384 * sin(2 * pi * 1000 * i / rate));
        memcpy(&wave[44 + i * 4], &value, 2);
        memcpy(&wave[46 + i * 4], &value, 2);
    }
    return wave;
}

// Wine 8 refuses a loopback (its PulseAudio driver opens a render endpoint
// only for playing); a system that has one must get as far as the pipe.
TEST(Sound, OutputLoopbackOpensOrSaysWhyNot) {
    OsSoundCapture *capture = os_sound_start(OS_SOUND_FROM_OUTPUT);
    ASSERT_NE(capture, nullptr);
    OsSoundStatus status = os_sound_status(capture);
    printf("loopback of the default output: state %d, \"%s\"\n", status.state, status.reason);
    EXPECT_TRUE(status.state == OS_SOUND_WAITING || strstr(status.reason, "no loopback")) << status.reason;
    os_sound_stop(capture); // nobody opened the pipe: the stop must not wait for it
}

// The same stream from the default input, which is the default output's
// monitor on the test server: this test reads the pipe as the encoder does.
TEST(Sound, StreamKeepsToTheClockFillsSilenceAndEndsWithTheReader) {
    std::vector<u8> wave = tone_wave();
    ASSERT_TRUE(PlaySoundA((const char *)wave.data(), nullptr, SND_MEMORY | SND_ASYNC | SND_LOOP));
    OsSoundCapture *capture = os_sound_start(OS_SOUND_FROM_INPUT);
    ASSERT_NE(capture, nullptr);
    OsSoundStatus status = os_sound_status(capture);
    ASSERT_EQ(status.state, OS_SOUND_WAITING) << status.reason;
    i64 opened = os_ticks();
    HANDLE pipe = CreateFileA(status.pipe_name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    std::vector<u8> bytes;
    auto seconds = [&] { return (double)(os_ticks() - opened) / (double)os_frequency; };
    // Everything waiting in the pipe. The stream never runs ahead of the clock
    // by more than the jitter it lets packets follow on within, plus a packet.
    auto read = [&] {
        DWORD waiting = 0, got = 0;
        if (PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) && waiting) {
            size_t at = bytes.size();
            bytes.resize(at + waiting);
            ReadFile(pipe, &bytes[at], waiting, &got, nullptr);
            bytes.resize(at + got);
        }
        i64 frames = (i64)bytes.size() / OS_SOUND_FRAME_BYTES;
        EXPECT_LE(frames, seconds() * rate + 2.0 * (double)OS_SOUND_JITTER_FRAMES);
        return frames;
    };
    auto level = [&](size_t channel, double frequency) { // of the last quarter second
        size_t count = OS_SOUND_RATE / 4 * 2;
        const f32 *samples = (const f32 *)bytes.data() + bytes.size() / 4 - count;
        return bytes.size() / 4 < count ? 0.0 : tone_level(samples + channel, count, 2, frequency);
    };
    EXPECT_TRUE(wait_for([&] { return read() && level(0, 1000) > 0.45; })) << level(0, 1000);
    EXPECT_NEAR(level(1, 1000), 0.5, 0.05);
    EXPECT_LT(level(0, 1500), 0.01);

    // The sink's monitor delivers nothing while the sink is suspended, as a
    // loopback does in silence: a second of silence comes on the clock.
    pactl("suspend-sink @DEFAULT_SINK@ 1");
    i64 silence = os_sound_status(capture).frames_silence;
    EXPECT_TRUE(wait_for([&] { return read() && os_sound_status(capture).frames_silence - silence > OS_SOUND_RATE; }));
    EXPECT_TRUE(wait_for([&] { return read() > (seconds() - 0.5) * rate; })) << "fell behind the clock";
    EXPECT_LT(level(0, 1000), 1e-6);
    pactl("suspend-sink @DEFAULT_SINK@ 0");
    PlaySoundA(nullptr, nullptr, 0);

    CloseHandle(pipe);
    EXPECT_TRUE(wait_for([&] { return os_sound_status(capture).state == OS_SOUND_ENDED; }));
    EXPECT_STREQ(os_sound_status(capture).reason, "The encoder closed the sound stream.");
    os_sound_stop(capture);
}
#else
TEST(Sound, LinuxLeavesTheCaptureToFfmpeg) {
    OsSoundCapture *capture = os_sound_start(OS_SOUND_FROM_OUTPUT);
    ASSERT_NE(capture, nullptr);
    OsSoundStatus status = os_sound_status(capture);
    EXPECT_EQ(status.state, OS_SOUND_NOT_AVAILABLE);
    EXPECT_NE(strstr(status.reason, "pulse"), nullptr);
    os_sound_stop(capture);
}
#endif
