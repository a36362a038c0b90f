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
#endif

static const double pi = 3.14159265358979323846;
static const double rate = OS_SOUND_RATE;

// The amplitude of one frequency in every step-th sample (Goertzel).
static double tone_level(const f32 *samples, size_t count, size_t step, double frequency) {
    double coefficient = 2 * cos(2 * pi * frequency / rate), before = 0, earlier = 0;
    for (size_t i = 0; i < count; i += step) std::swap(before, earlier = samples[i] + coefficient * before - earlier);
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
    EXPECT_EQ(timeline.dropped, dropped + laid + 5000 - before - room);
}

TEST(Sound, ConverterResamplesAcrossPacketsAndFoldsChannels) {
    // A second of 1 kHz, 44.1 kHz mono 16-bit, in packets: a second at 48 kHz stereo.
    std::vector<i16> mono(44100);
    for (size_t i = 0; i < mono.size(); i++) mono[i] = (i16)lround(16384 * sin(2 * pi * 1000 * (double)i / 44100));
    OsSoundConverter converter = os_sound_converter(44100, 1, 16, false, -1);
    std::vector<f32> out((size_t)os_sound_converted_capacity(&converter, 44100) * 2);
    i64 made = 0;
    for (size_t at = 0; at < mono.size(); at += 441) // 10 ms packets
        made += os_sound_convert(&converter, (const u8 *)(mono.data() + at), 441, out.data() + made * 2);
    EXPECT_NEAR(made, OS_SOUND_RATE, 1);
    for (size_t channel : {0, 1}) EXPECT_NEAR(tone_level(out.data() + channel, (size_t)made * 2, 2, 1000), 0.5, 0.01);

    // 5.1 floats: the centre goes into both sides at -3 dB; 24-bit integers keep their sign.
    f32 surround[6] = {0.1f, 0.2f, 1.0f, 0.5f, 0.5f, 0.5f};
    converter = os_sound_converter(OS_SOUND_RATE, 6, 32, true, 2);
    ASSERT_EQ(os_sound_convert(&converter, (const u8 *)surround, 1, out.data()), 1);
    EXPECT_NEAR(out[0], 0.1f + 0.7071f, 1e-4);
    EXPECT_NEAR(out[1], 0.2f + 0.7071f, 1e-4);
    u8 deep[6] = {0x00, 0x00, 0xC0, 0x00, 0x00, 0x40}; // -0.5, +0.5
    converter = os_sound_converter(OS_SOUND_RATE, 2, 24, false, -1);
    ASSERT_EQ(os_sound_convert(&converter, deep, 1, out.data()), 1);
    EXPECT_TRUE(out[0] == -0.5f && out[1] == 0.5f) << out[0] << " " << out[1];
}

#ifdef _WIN32
template <typename Done> static bool wait_for(Done done, i64 timeout_ms = 30000) {
    for (i64 end = os_time_milliseconds() + timeout_ms; !done(); os_sleep_ms(10))
        if (os_time_milliseconds() > end) return false;
    return true;
}

// A Linux program beside Wine: the test server's tools.
static void run_unix(std::string command, bool wait) {
    command = (wait ? "start.exe /wait /unix " : "start.exe /unix ") + command;
    ASSERT_EQ(os_run_process(StrSlice{(i64)command.size(), (char *)command.c_str()}, [](StrSlice) {}, false), 0);
}

// Wine 8 has no loopback (its PulseAudio driver opens a render endpoint only
// for playing); a system with one gets as far as the pipe. Nobody opens the
// pipe, and the stop must not wait for that.
TEST(Sound, OutputLoopbackOpensOrSaysWhyNot) {
    OsSoundCapture *capture = os_sound_start(OS_SOUND_FROM_OUTPUT);
    OsSoundStatus status = os_sound_status(capture);
    printf("loopback of the default output: state %d, \"%s\"\n", status.state, status.reason);
    EXPECT_TRUE(status.state == OS_SOUND_WAITING || strstr(status.reason, "no loopback")) << status.reason;
    os_sound_stop(capture);
}

// The same stream from the default input, which is the default output's
// monitor on the test server; the test reads the pipe as the encoder does.
TEST(Sound, StreamKeepsToTheClockFillsSilenceAndEndsWithTheReader) {
    run_unix("/usr/bin/ffmpeg -v error -re -f lavfi -i sine=1000:duration=30:sample_rate=48000 -af volume=4 -f pulse tone", false);
    OsSoundCapture *capture = os_sound_start(OS_SOUND_FROM_INPUT);
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
        size_t at = bytes.size();
        if (PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) && waiting) bytes.resize(at + waiting);
        if (waiting) ReadFile(pipe, &bytes[at], waiting, &got, nullptr);
        bytes.resize(at + got);
        EXPECT_LE(bytes.size() / OS_SOUND_FRAME_BYTES, seconds() * rate + 2.0 * (double)OS_SOUND_JITTER_FRAMES);
        return bytes.size() / OS_SOUND_FRAME_BYTES;
    };
    auto level = [&](size_t channel, double frequency) { // of the last quarter second
        size_t count = OS_SOUND_RATE / 4 * 2;
        const f32 *samples = (const f32 *)bytes.data() + bytes.size() / 4 - count;
        return bytes.size() / 4 < count ? 0.0 : tone_level(samples + channel, count, 2, frequency);
    };
    EXPECT_TRUE(wait_for([&] { return read() && level(0, 1000) > 0.45; })) << level(0, 1000);
    EXPECT_NEAR(level(1, 1000), 0.5, 0.05);
    EXPECT_LT(level(0, 1500), 0.01);

    // A suspended sink's monitor delivers nothing, as a loopback does in
    // silence: a second of silence comes, on the clock.
    run_unix("/usr/bin/pactl suspend-sink @DEFAULT_SINK@ 1", true);
    i64 silence = os_sound_status(capture).frames_silence;
    EXPECT_TRUE(wait_for([&] { return read() && os_sound_status(capture).frames_silence - silence > OS_SOUND_RATE; }));
    EXPECT_TRUE(wait_for([&] { return read() > (seconds() - 0.5) * rate; })) << "fell behind the clock";
    EXPECT_LT(level(0, 1000), 1e-6);
    run_unix("/usr/bin/pactl suspend-sink @DEFAULT_SINK@ 0", true);

    CloseHandle(pipe);
    EXPECT_TRUE(wait_for([&] { return os_sound_status(capture).state == OS_SOUND_ENDED; }));
    EXPECT_STREQ(os_sound_status(capture).reason, "The encoder closed the sound stream.");
    os_sound_stop(capture);
}
#endif
