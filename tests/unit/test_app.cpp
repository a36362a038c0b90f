// The recorder's own rules, on the app state without windows: frame timing,
// default region, panel and frame placement, drag arithmetic, output names,
// the encoder command line and the countdown.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#ifndef _WIN32
#include <stdlib.h>
#endif

#include "recorder/app.h"
#include "recorder/countdown.h"
#include "recorder/encoder_command.h"
#include "recorder/finishing.h"
#include "recorder/idle.h"
#include "recorder/frame_timing.h"
#include "recorder/main_loop.h"
#include "recorder/state.h"
#include "recorder/output_name.h"
#include "recorder/region.h"
#include "recorder/sources.h"
#include "recorder/startup.h"
#include "os/os_internal.h"
#include "ui/canvas.h"
#include "ui/frame.h"
#include "ui/icon_sheet.h"
#include "ui/panel.h"
#include "unit/app_region.h"

static StrSlice text(const char *s) { return StrSlice{(i64)strlen(s), (char *)s}; }

static std::string str(const TextBuilder &b) { return std::string(b.data, (size_t)b.length); }

TEST(FrameTiming, RateAndMillisecondsFromTheRunningTotal) {
    FrameTiming t;
    frame_timing_start(&t, 24, 0);
    EXPECT_EQ(t.frame_rate, 30);
    EXPECT_EQ(t.period_us, 33333);
    frame_timing_start(&t, 144, 0);
    EXPECT_EQ(t.period_us, 6944);

    i64 saved = os_frequency;
    os_frequency = 10000000;
    frame_timing_start(&t, 60, 1000);
    EXPECT_EQ(t.period_us, 16666);
    i32 deltas[3];
    i64 now = 1000;
    const i64 frames_us[3] = {16600, 16700, 16700};
    for (int i = 0; i < 3; i++) {
        now += frames_us[i] * 10;
        frame_timing_advance(&t, now);
        deltas[i] = t.delta_ms;
    }
    os_frequency = saved;
    EXPECT_EQ(deltas[0], 16);
    EXPECT_EQ(deltas[1], 17);
    EXPECT_EQ(deltas[2], 17);
    EXPECT_EQ(t.total_ms, 50u);
    EXPECT_EQ(t.delta_us, 16700);

    // A 40-minute stall (suspend, debugger) counts as one second, and a
    // clock that went back as nothing.
    os_frequency = 10000000;
    frame_timing_advance(&t, now += (i64)40 * 60 * 10000000);
    EXPECT_EQ(t.delta_us, FRAME_DELTA_MAX_US);
    EXPECT_EQ(t.delta_ms, 1000);
    frame_timing_advance(&t, now - 5000);
    EXPECT_EQ(t.delta_us, 0);
    EXPECT_EQ(t.delta_ms, 0);
    os_frequency = saved;
}

TEST(Startup, DefaultRegionAndFrameMetrics) {
    app_default_region(1920, 1080);
    EXPECT_EQ(app.region_x0, 770);
    EXPECT_EQ(app.region_y0, 430);
    EXPECT_EQ(app.region_x1, 1149);
    EXPECT_EQ(app.region_y1, 649);
    EXPECT_EQ(app.frame_metric_large, 11);
    EXPECT_EQ(app.frame_metric_small, 6);
    app_default_region(2560, 1440);
    EXPECT_EQ(app.region_x0, 1020);
    EXPECT_EQ(app.region_y0, 580);
    EXPECT_EQ(app.region_x1, 1539);
    EXPECT_EQ(app.region_y1, 859);
    EXPECT_EQ(app.frame_metric_large, 15);
    EXPECT_EQ(app.frame_metric_small, 8);
    app_default_region(400, 300);
    EXPECT_EQ(app.frame_metric_large, 4);
    EXPECT_EQ(app.frame_metric_small, 2);
}

TEST(Panel, PlacementRulesInOrder) {
    i32 x, y;
    panel_position(770, 430, 380, 220, 1920, 1080, &x, &y); // below
    EXPECT_EQ(x, 780);
    EXPECT_EQ(y, 661);
    panel_position(100, 72, 300, 1000, 1920, 1080, &x, &y); // touching the bottom: above
    EXPECT_EQ(x, 110);
    EXPECT_EQ(y, 0);
    panel_position(100, 71, 300, 1000, 1920, 1080, &x, &y); // right of it
    EXPECT_EQ(x, 411);
    EXPECT_EQ(y, 81);
    panel_position(597, 71, 800, 1000, 1920, 1080, &x, &y); // no room right: over the corner
    EXPECT_EQ(x, 597);
    EXPECT_EQ(y, 1010);
    panel_position(598, 71, 800, 1000, 1920, 1080, &x, &y); // else left of it
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 81);
    panel_position(100, 300, 300, 708, 1920, 1080, &x, &y); // below while its last row fits
    EXPECT_EQ(y, 1019);
    panel_position(100, 300, 300, 709, 1920, 1080, &x, &y);
    EXPECT_EQ(y, 228);
}

// The whole panel is on screen, whatever the region.
TEST(Panel, AllRowsOnScreen) {
    const i32 screen_w = 1920, screen_h = 1080;
    const i32 xs[] = {0, 1, 596, 597, 598, 1000, 1919}, ys[] = {0, 1, 71, 72, 73, 500, 1007, 1079};
    for (i32 x : xs)
        for (i32 y : ys)
            for (i32 w : {1, 320, screen_w - x})
                for (i32 h = 1; y + h <= screen_h; h++) {
                    i32 px, py;
                    panel_position(x, y, w, h, screen_w, screen_h, &px, &py);
                    ASSERT_TRUE(px >= 0 && py >= 0 && px + PANEL_WIDTH <= screen_w && py + PANEL_HEIGHT <= screen_h)
                        << "region " << x << "," << y << " " << w << "x" << h << ": panel at " << px << "," << py;
                }
}

TEST(Frame, EdgeWindowsFollowStyleAndState) {
    app.screen_width = 1920;
    app.screen_height = 1080;
    app.frame_dash_thickness = 2;
    set_region(100, 200, 739, 679);
    OsRect r[4];
    FrameFunction = idle_frame;
    app.frame_style = 2;
    frame_edge_rects(&app, app_mode(), r);
    EXPECT_EQ(r[0].x, 0);
    EXPECT_EQ(r[0].y, 198);
    EXPECT_EQ(r[0].width, 1920);
    EXPECT_EQ(r[1].y, 680);
    EXPECT_EQ(r[2].x, 98);
    EXPECT_EQ(r[2].height, 1080);
    EXPECT_EQ(r[3].x, 740);
    // The guides become a border as soon as the countdown runs.
    FrameFunction = countdown_frame;
    frame_edge_rects(&app, app_mode(), r);
    EXPECT_EQ(r[0].x, 98);
    EXPECT_EQ(r[0].y, 198);
    EXPECT_EQ(r[0].width, 644);
    EXPECT_EQ(r[0].height, 2);
    EXPECT_EQ(r[2].y, 200);
    EXPECT_EQ(r[2].height, 480);
    // Whatever the style and state, the edges lie outside the region and
    // touch it: anything drawn inside would end up in the video.
    for (u8 style = 1; style <= 2; style++) {
        for (AppMode mode : {APP_MODE_IDLE, APP_MODE_COUNTDOWN, APP_MODE_RECORDING}) {
            app.frame_style = style;
            frame_edge_rects(&app, mode, r);
            for (i32 i = 0; i < 4; i++) {
                bool overlaps = r[i].x < 740 && r[i].x + r[i].width > 100 && r[i].y < 680 && r[i].y + r[i].height > 200;
                EXPECT_FALSE(overlaps) << "style " << (int)style << " mode " << (int)mode << " edge " << i;
                EXPECT_GT(r[i].width * r[i].height, 0);
            }
            EXPECT_EQ(r[0].y + r[0].height, 200);
            EXPECT_EQ(r[1].y, 680);
            EXPECT_EQ(r[2].x + r[2].width, 100);
            EXPECT_EQ(r[3].x, 740);
        }
    }
    app.frame_style = 0;
    frame_edge_rects(&app, app_mode(), r);
    for (const OsRect &rect : r) EXPECT_EQ(rect.width | rect.height | rect.x | rect.y, 0);
    FrameFunction = app_startup_frame;
    app.frame_style = 2;
    app.frame_dash_thickness = 1;
}

TEST(Frame, GrabBoxesOfANarrowRegion) {
    app.frame_metric_large = 11;
    app.frame_metric_small = 6;
    set_region(500, 300, 503, 399); // 4 pixels wide
    OsRect top = grab_rect(&app, ELEMENT_EDGE_TOP);
    EXPECT_EQ(top.width, 4 - 2 * app.corner_inner_w);
    EXPECT_EQ(grab_rect(&app, ELEMENT_CORNER_TOP_LEFT).width, app.corner_inner_w + 11);
    EXPECT_EQ(grab_rect(&app, ELEMENT_CORNER_TOP_LEFT).x, 489);
    OsRect none = grab_rect(&app, ELEMENT_FPS_UP);
    EXPECT_EQ(none.width | none.height | none.x | none.y, 0);
}

TEST(Drag, SnappingClampingAndMoving) {
    i32 second = 303; // right edge +4 on 100..299
    region_snap_axis(100, &second, 10);
    EXPECT_EQ(second, 299);
    second = 305; // +6: 20.5 rounds away from zero
    region_snap_axis(100, &second, 10);
    EXPECT_EQ(second, 309);
    second = 299; // left edge -4: the right edge moves instead
    region_snap_axis(96, &second, 10);
    EXPECT_EQ(second, 295);
    second = 50; // crossed corners are left alone
    region_snap_axis(400, &second, 10);
    EXPECT_EQ(second, 50);
    second = 102; // tiny region: at least one step
    region_snap_axis(100, &second, 10);
    EXPECT_EQ(second, 109);
    second = 303; // rounding 1: off
    region_snap_axis(100, &second, 1);
    EXPECT_EQ(second, 303);

    app.screen_width = 1920;
    app.screen_height = 1080;
    app.region_x0 = -5;
    app.region_x1 = 2000;
    app.region_y0 = 1080;
    app.region_y1 = -1;
    region_clamp();
    EXPECT_EQ(app.region_x0, 0);
    EXPECT_EQ(app.region_x1, 1919);
    EXPECT_EQ(app.region_y0, 1079);
    EXPECT_EQ(app.region_y1, 0);

    i32 a = 1700, b = 1919; // already at the right edge
    region_move_axis(&a, &b, 50, 1920);
    EXPECT_EQ(a, 1700);
    EXPECT_EQ(b, 1919);
    a = 100, b = 299; // left by more than its x: stops at 0, size kept
    region_move_axis(&a, &b, -150, 1920);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 199);
    a = 100, b = 299;
    region_move_axis(&a, &b, 1800, 1920);
    EXPECT_EQ(a, 1720);
    EXPECT_EQ(b, 1919);
    a = 100, b = 299;
    region_move_axis(&a, &b, 25, 1920);
    EXPECT_EQ(a, 125);
    EXPECT_EQ(b, 324);
}

static OsDateTime march_7(void) { return os_date_time_from_calendar(2026, 3, 7, 6, 9, 5, 3, 0); }

TEST(OutputName, TagsExpand) {
    OsDateTime t = march_7();
    app.memory_counter = 12;
    TextBuilder b = builder_create(64);
    output_name_expand(&b, text("<year> <month> <day1> <hour> <minute> <second>"), &t, 0);
    EXPECT_EQ(str(b), "2026 03 7 09 05 03");
    builder_clear(&b);
    output_name_expand(&b, text("<month1>.<day>.<hour1>.<minute1>.<second1>|<incremental>|<memory_incremental>"), &t, 4);
    EXPECT_EQ(str(b), "3.07.9.5.3|4|12");
    builder_clear(&b);
    output_name_expand(&b, text("a<nope>b<>c>d<Year>"), &t, 0);
    EXPECT_EQ(str(b), "abcd");
    builder_clear(&b);
    output_name_expand(&b, text("ab<year"), &t, 0);
    EXPECT_EQ(str(b), "ab2026");
    builder_clear(&b);
    output_name_expand(&b, text("end<"), &t, 0);
    EXPECT_EQ(str(b), "end");
    os_free(b.data);
}

// Files in the output folder beside this test program.
struct OutputFolder {
    std::string folder;
    OutputFolder() {
        StrSlice exe = os_exe_folder();
        folder = std::string(exe.data, (size_t)exe.length) + "output";
        os_make_directory(text(folder.c_str()));
    }
    void touch(const char *name) {
        std::string path = folder + "/" + name;
        os_write_file(text(path.c_str()), 1, "x");
    }
    std::string chosen(const char *name_template, i32 counter) {
        app.memory_counter = counter;
        builder_clear(&app.output_name_template);
        if (!app.output_name_template.data) app.output_name_template = builder_create(256);
        builder_append_text(&app.output_name_template, name_template);
        OsDateTime t = march_7();
        TextBuilder path = builder_create(256);
        output_path_choose(&path, &t);
        std::string result = str(path);
        os_free(path.data);
        return result.substr(folder.size() + 1);
    }
    ~OutputFolder() {
        const char *names[] = {"2026-03-07 4.mp4", "clip_0.mp4", "clip_1.mp4", "shot 9.mp4", "daily.mp4",
                               "clip_.mp4", "2026-03-07 2147483647.mp4", "2026-03-07 0.mp4",
                               "clip_2.recording.mp4"};
        for (const char *name : names) os_delete_file(text((folder + "/" + name).c_str()));
        os_remove_directory(text((folder + "/2026-03-07 5.mp4").c_str()));
        os_remove_directory(text(folder.c_str()));
        builder_clear(&app.output_name_template);
    }
};

TEST(OutputName, FirstFreeName) {
    OutputFolder out;
    EXPECT_EQ(out.chosen("", 4), "2026-03-07 4.mp4");
    EXPECT_EQ(app.memory_counter, 4);
    out.touch("2026-03-07 4.mp4");
    EXPECT_EQ(out.chosen("", 4), "2026-03-07 5.mp4");
    EXPECT_EQ(app.memory_counter, 5);

    out.touch("clip_0.mp4");
    out.touch("clip_1.mp4");
    EXPECT_EQ(out.chosen("clip_<incremental>", 3), "clip_2.mp4");
    EXPECT_EQ(app.memory_counter, 3);
    // A working file waiting to be finished keeps its name; it stands for
    // the name it is finished under, and only such a file does.
    out.touch("clip_2.recording.mp4");
    EXPECT_EQ(out.chosen("clip_<incremental>", 3), "clip_3.mp4");
    TextBuilder finished = builder_create(16);
    EXPECT_TRUE(recording_finished_path(&finished, "/o/a b.recording.mp4"));
    EXPECT_EQ(str(finished), "/o/a b.mp4");
    EXPECT_FALSE(recording_finished_path(&finished, "/o/.recording.mp4"));
    EXPECT_FALSE(recording_finished_path(&finished, "/o/a.mp4"));
    // The segments after a pause, each named for its recording and its place.
    i32 segment = 0;
    recording_segment_path(&finished, "/o/a b.mp4", 12);
    EXPECT_EQ(str(finished), "/o/a b.recording-12.mp4");
    EXPECT_TRUE(recording_finished_path(&finished, "/o/a b.recording-12.mp4", &segment) && segment == 12);
    EXPECT_EQ(str(finished), "/o/a b.mp4");
    for (const char *other : {"/o/a.recording-1.mp4", "/o/a.recording-02.mp4", "/o/.recording-2.mp4", "/o/a-2.mp4"})
        EXPECT_FALSE(recording_finished_path(&finished, other)) << other;
    os_free(finished.data);

    out.touch("shot 9.mp4");
    EXPECT_EQ(out.chosen("shot <memory_incremental>", 9), "shot 10.mp4");
    EXPECT_EQ(app.memory_counter, 10);

    EXPECT_EQ(out.chosen("daily", 0), "daily.mp4");
    out.touch("daily.mp4");
    EXPECT_EQ(out.chosen("daily", 4), "2026-03-07 5.mp4"); // tagless and taken: default names
}

TEST(OutputName, EveryTemplateEndsAndNothingIsReplaced) {
    OutputFolder out;
    // "<<incremental>" expands its tag to nothing: the same taken name every
    // attempt, which once looped for ever. Now it falls back.
    out.touch("clip_.mp4");
    out.touch("2026-03-07 4.mp4");
    EXPECT_EQ(out.chosen("clip_<<incremental>", 4), "2026-03-07 5.mp4");
    EXPECT_EQ(out.chosen("clip_<<memory_incremental>", 4), "2026-03-07 5.mp4");
    // A folder of that name is taken too (the encoder's -y would fail on it
    // or, for a file it cannot read, replace it).
    ASSERT_EQ(os_make_directory(text((out.folder + "/2026-03-07 5.mp4").c_str())), 0);
    EXPECT_EQ(out.chosen("", 4), "2026-03-07 6.mp4");
    // A counter at its top (an edited state file) never gives a taken name,
    // whose file the encoder's -y would replace: it starts again from 0.
    out.touch("2026-03-07 2147483647.mp4");
    out.touch("2026-03-07 0.mp4");
    EXPECT_EQ(out.chosen("", INT32_MAX), "2026-03-07 1.mp4");
    EXPECT_EQ(app.memory_counter, 1);
    // A template that names nothing visible ("", "..", a hidden ".mp4")
    // falls back to the default names.
    EXPECT_EQ(out.chosen("<<incremental>", 2), "2026-03-07 2.mp4");
    EXPECT_EQ(out.chosen("..", 2), "2026-03-07 2.mp4");
}

// The recording's command line as the settings ask for it (the computer's
// sound from sound_pipe where this process streams it).
static std::string recording_command_text(const char *path, const char *sound_pipe = nullptr) {
    TextBuilder built = builder_create(16);
    RecordingInputs inputs;
    sources_plan(&inputs);
    inputs.sound_pipe = sound_pipe;
    recording_command(&built, path, &inputs);
    std::string line(built.data, (size_t)built.length);
    os_free(built.data);
    return line;
}

TEST(Encoder, CommandLineForTheRegion) {
    set_region(100, 200, 739, 679);
    app.fps = 30;
    app.draw_mouse = true;
    app.record_audio = true; // without a device and the computer's sound: video only
    app.system_sound = SYSTEM_SOUND_NO;
    builder_clear(&app.audio_device);
    app.encoder_command = builder_create(64);
    builder_append_text(&app.encoder_command, "\"C:/rec/ffmpeg.exe\"");
    const char *path = "C:/rec/output/2026-03-07 0.recording.mp4";
    std::string line = recording_command_text(path);
    std::string fragments = " -movflags +frag_keyframe+empty_moov+default_base_moof -frag_duration 1000000 "
                            "-flush_packets 1 \"C:/rec/output/2026-03-07 0.recording.mp4\"";
#ifdef _WIN32
    EXPECT_EQ(line, "\"C:/rec/ffmpeg.exe\" -y -f gdigrab -framerate 30 -offset_x 100 -offset_y 200 "
                    "-video_size 640x480 -draw_mouse 1 -i desktop -r 30 -c:v libx264rgb -preset ultrafast -qp 0" +
                        fragments);
#else
    StrSlice display = os_display_name();
    EXPECT_EQ(line, "\"C:/rec/ffmpeg.exe\" -y -f x11grab -framerate 30 -video_size 640x480 -draw_mouse 1 -i " +
                        std::string(display.data, (size_t)display.length) +
                        "+100,200 -r 30 -c:v libx264rgb -preset ultrafast -qp 0" + fragments);
#endif
    // The finishing step: one working file, or the concat list of several.
    TextBuilder built = builder_create(16);
    finishing_command(&built, "C:/rec/output/a 0.recording.mp4", false, "C:/rec/output/a 0.finishing.mp4");
    EXPECT_EQ(str(built), "\"C:/rec/ffmpeg.exe\" -hide_banner -nostdin -nostats -v error -progress pipe:1 -y -i "
                          "\"C:/rec/output/a 0.recording.mp4\" -c copy -movflags +faststart "
                          "\"C:/rec/output/a 0.finishing.mp4\"");
    finishing_command(&built, "C:/rec/output/a.segments.txt", true, "C:/rec/output/a.finishing.mp4");
    EXPECT_NE(str(built).find(" -y -f concat -safe 0 -i \"C:/rec/output/a.segments.txt\" -c copy "), std::string::npos);
    finished_check_command(&built, "C:/rec/output/a 0.finishing.mp4");
    EXPECT_EQ(str(built), "\"C:/rec/ffmpeg.exe\" -hide_banner -nostdin -nostats -v error -progress pipe:1 -i "
                          "\"C:/rec/output/a 0.finishing.mp4\" -c copy -f null -");
    // The list cuts a segment where its picture ended; the next start reads
    // the cuts back for the segments it finds.
    const char *parts[] = {"C:/rec/a.recording.mp4", "/r/it's.recording-2.mp4"};
    const i64 cuts[] = {-1, 2133333};
    concat_list_text(&built, parts, cuts, 2);
    EXPECT_EQ(str(built), "file 'C:/rec/a.recording.mp4'\nfile '/r/it'\\''s.recording-2.mp4'\noutpoint 2.133333\n");
    const char *found[] = {"/elsewhere/it's.recording-2.mp4", "/elsewhere/a.recording.mp4", "/elsewhere/new.mp4"};
    i64 read[3] = {7, 7, 7};
    finishing_cuts_from_list(builder_slice(&built), found, 3, read);
    EXPECT_EQ(std::vector<i64>(read, read + 3), (std::vector<i64>{2133333, -1, -1}));
    app.audio_device = builder_create(16);
    builder_append_text(&app.audio_device, "Mic (USB)");
    app.draw_mouse = false;
    line = recording_command_text(path);
#ifdef _WIN32
    EXPECT_NE(line.find(" -y -f dshow -i audio=\"Mic (USB)\" -f gdigrab "), std::string::npos) << line;
#else
    EXPECT_NE(line.find(" -y -f pulse -i \"Mic (USB)\" -f x11grab "), std::string::npos) << line;
#endif
    EXPECT_NE(line.find("-draw_mouse 0"), std::string::npos);
    // The picture ends first through its concat filter (then the sound, at "q").
    EXPECT_NE(line.find(" -filter_complex color=s=640x480:r=30,trim=end_frame=0[end];[1:v][end]concat[v] -map [v] "
                        "-map 0:a -r 30 -c:v libx264rgb"),
              std::string::npos)
        << line;
    EXPECT_NE(line.find("-qp 0 -c:a libopus -b:a 320k -movflags "), std::string::npos);
    // The computer's sound: alone when no device is named (auto), mixed with
    // the device at both levels (yes); on Windows from this process's pipe.
#ifdef _WIN32 // after the screen (the stream's clock starts when it is opened)
    const char *system_input = " -i desktop -thread_queue_size 1024 -f f32le -ar 48000 -ac 2 -i \"//./pipe/s\" ";
    const char *mix = "[1:v][end]concat[v];[0:a][2:a]amix=inputs=2:duration=longest:normalize=0[a] -map [v] -map [a] ";
#else // before it
    const char *system_input = " -thread_queue_size 1024 -f pulse -sample_rate 48000 -fragment_size 3840 "
                               "-i @DEFAULT_MONITOR@ -f x11grab ";
    const char *mix = "[2:v][end]concat[v];[0:a][1:a]amix=inputs=2:duration=longest:normalize=0[a] -map [v] -map [a] ";
#endif
    app.system_sound = SYSTEM_SOUND_YES;
    line = recording_command_text(path, "//./pipe/s");
    EXPECT_NE(line.find(system_input), std::string::npos) << line;
    EXPECT_NE(line.find(std::string(",trim=end_frame=0[end];") + mix + "-r 30 -c:v libx264rgb"), std::string::npos)
        << line;
#ifdef _WIN32 // the device pinned to the stream's rate and channels
    EXPECT_NE(line.find(" -f dshow -sample_rate 48000 -channels 2 -i audio=\"Mic (USB)\" "), std::string::npos) << line;
#else
    EXPECT_NE(line.find(" -f pulse -sample_rate 48000 -fragment_size 3840 -i \"Mic (USB)\" "), std::string::npos)
        << line;
#endif
    builder_clear(&app.audio_device);
    app.system_sound = SYSTEM_SOUND_AUTO;
    line = recording_command_text(path, "//./pipe/s");
    EXPECT_NE(line.find(system_input), std::string::npos) << line;
    EXPECT_EQ(line.find("amix"), std::string::npos) << line;
    app.record_audio = false;
    RecordingInputs inputs;
    sources_plan(&inputs);
    EXPECT_FALSE(inputs.device || inputs.system_sound);
    os_free(built.data);
    os_free(app.encoder_command.data);
    app.encoder_command = TextBuilder{0, nullptr, 0};
}

static std::vector<std::string> split(const std::string &line) {
    i32 count = 0;
    char **argv = os_split_command_line(line.c_str(), &count);
    std::vector<std::string> args(argv, argv + count);
    os_free(argv);
    return args;
}

// Whatever the settings hold, the encoder gets exactly the intended
// arguments, with the output path whole and last.
TEST(Encoder, HostileValuesStayInTheirArguments) {
    set_region(10, 20, 329, 259);
    app.fps = 30;
    app.record_audio = true;
    app.encoder_command = builder_create(64);
    builder_append_text(&app.encoder_command, "\"/opt/my rec/ffmpeg\"");
    const char *devices[] = {"Mic\\", "a\\\\b\\ \"q\"", "\\\\", "\"", "x y\t"};
    const char *paths[] = {"/tmp/a \"b\"\\/out put/x.mp4", "C:\\rec\\output\\a b.mp4", "/o/\\\\\" q.mp4"};
#ifndef _WIN32
    const char *displays[] = {":0", ":1 \"x\\", "host\\"};
    std::string saved_display = getenv("DISPLAY") ? getenv("DISPLAY") : "";
#else
    const char *displays[] = {""};
#endif
    for (const char *display : displays) {
#ifndef _WIN32
        setenv("DISPLAY", display, 1);
#else
        (void)display;
#endif
        for (const char *device : devices) {
            builder_clear(&app.audio_device);
            if (!app.audio_device.data) app.audio_device = builder_create(64);
            builder_append_text(&app.audio_device, device);
            for (const char *path : paths) {
                std::string line = recording_command_text(path);
                std::vector<std::string> args = split(line);
#ifdef _WIN32
                ASSERT_EQ(args.size(), 45u) << line; // with the filter that ends the picture first
#else
                ASSERT_EQ(args.size(), 41u) << line;
#endif
                EXPECT_EQ(args[0], "/opt/my rec/ffmpeg");
                EXPECT_EQ(args.back(), path) << line;
#ifdef _WIN32
                EXPECT_EQ(args[5], std::string("audio=") + device) << line;
#else
                EXPECT_EQ(args[5], device) << line;
                EXPECT_EQ(args[15], std::string(display) + "+10,20") << line;
#endif
            }
        }
    }
#ifndef _WIN32
    setenv("DISPLAY", saved_display.c_str(), 1);
#endif
    app.record_audio = false;
    builder_clear(&app.audio_device);
    os_free(app.encoder_command.data);
    app.encoder_command = TextBuilder{0, nullptr, 0};
}

TEST(IdleWait, ShortNearTheRegionLongElsewhereNoneWhileHeldOrCounting) {
    app.screen_width = 1920;
    app.screen_height = 1080;
    set_region(100, 200, 739, 679);
    FrameFunction = idle_frame;
    struct Case {
        i32 x, y;
        u32 wait_ms;
    } cases[] = {{1500, 100, 1000}, {400, 400, 100}, {1, 300, 100}, {839, 779, 100}, {1000, 300, 1000}, {0, 0, 1000}};
    for (const Case &c : cases) {
        app.last_cursor_x = c.x;
        app.last_cursor_y = c.y;
        EXPECT_EQ(idle_wait_ms(), c.wait_ms) << c.x << ", " << c.y;
    }
    app.pressed_element = ELEMENT_MOVE_REGION; // a drag runs at the frame rate
    EXPECT_EQ(idle_wait_ms(), 0u);
    app.pressed_element = ELEMENT_NONE;
    app.minimised = true;
    EXPECT_EQ(idle_wait_ms(), 1000u);
    app.minimised = false;
    FrameFunction = countdown_frame;
    EXPECT_EQ(idle_wait_ms(), 0u);
    FrameFunction = app_startup_frame;
}

TEST(Countdown, StartsInTheFirstFrameThatReachesTheDelay) {
    // An encoder that cannot start: recording_start reports it and returns
    // to idle, which shows the frame in which the countdown ended.
    app.encoder_command = builder_create(64);
    builder_append_text(&app.encoder_command, "vornby-no-such-encoder");
    app.countdown_ms = -3000;
    FrameFunction = countdown_frame;
    frame_timing.delta_ms = 999;
    for (int frame = 0; frame < 3; frame++) {
        countdown_frame();
        ASSERT_EQ(FrameFunction, countdown_frame) << frame;
    }
    frame_timing.delta_ms = 3;
    countdown_frame();
    EXPECT_EQ(FrameFunction, idle_frame);
    os_free(app.encoder_command.data);
    app.encoder_command = TextBuilder{0, nullptr, 0};
    StrSlice exe = os_exe_folder();
    std::string folder = std::string(exe.data, (size_t)exe.length) + "output";
    os_remove_directory(text(folder.c_str()));
    FrameFunction = app_startup_frame;
}

TEST(IconSheet, BuiltInSheetDecodesAndBadFilesAreRejected) {
    IconSheet saved = icon_sheet;
    icon_sheet = IconSheet{0, 0, nullptr};
    // Not PNGs: rejected, the sheet left as it was.
    EXPECT_FALSE(icon_sheet_decode(text("\x89PNG")));
    const char jpeg[] = "\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00";
    EXPECT_FALSE(icon_sheet_decode(StrSlice{(i64)sizeof jpeg - 1, (char *)jpeg}));
    std::string cut((const char *)icons_builtin_png, icons_builtin_png_size / 2);
    EXPECT_FALSE(icon_sheet_decode(StrSlice{(i64)cut.size(), &cut[0]}));
    EXPECT_EQ(icon_sheet.pixels, nullptr);

    ASSERT_TRUE(icon_sheet_decode(StrSlice{(i64)icons_builtin_png_size, (char *)icons_builtin_png}));
    EXPECT_EQ(icon_sheet.width, 66);
    EXPECT_EQ(icon_sheet.height, 425);
    // Opaque 0xAARRGGBB: the idle record cell is red, its mark black; the
    // corner outside every cell is black.
    u32 cell = icon_sheet.pixels[16 * 66 + 3];
    EXPECT_EQ(cell >> 24, 0xFFu);
    EXPECT_GT((cell >> 16) & 0xFF, 0xC0u);
    EXPECT_LT(cell & 0xFF, 0x60u);
    EXPECT_EQ(icon_sheet.pixels[16 * 66 + 16], 0xFF000000u);
    EXPECT_EQ(icon_sheet.pixels[424 * 66 + 65], 0xFF000000u);
    os_free(icon_sheet.pixels);
    icon_sheet = saved;
}
