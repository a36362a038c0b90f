// The screen capture source on a real Wayland desktop (scripts/with-wayland):
// an X window shows a known picture through XWayland, the capture source
// feeds the real ffmpeg with the recorder's codec, and the decoded frame must
// equal the picture. Then what a user meets: the restore token, a declined
// request, no portal, and a monitor that goes away mid-recording.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <string>
#include <vector>

#include "os/os.h"
#include "capture_util.h"
#include "slices.h"

OsRect os_lnx_capture_crop(OsRect region, OsRect monitor, i32 pixel_width, i32 pixel_height);

// A window whose every pixel differs from its neighbours, in all three channels.
static u32 picture_pixel(i32 x, i32 y) {
    return 0xFF000000u | (u32)((x * 7 + y * 3) & 0xFF) << 16 | (u32)((x * 5 + y * 11 + 40) & 0xFF) << 8 |
           (u32)((x * 13 + y * 2 + 90) & 0xFF);
}

struct Picture {
    OsWindow *window;
};

static Picture show_picture(OsRect at) {
    OsWindow *window = os_open_window(at.width, at.height, text("capture picture"),
                                      OS_WINDOW_PIXEL_BUFFER | OS_WINDOW_BORDERLESS | OS_WINDOW_TOPMOST |
                                          OS_WINDOW_TOOL);
    os_move_window(window, at.x, at.y, at.width, at.height);
    for (i32 y = 0; y < at.height; y++)
        for (i32 x = 0; x < at.width; x++) window->pixels.pixels[y * at.width + x] = picture_pixel(x, y);
    return Picture{window};
}

// The compositor sends pictures only when something is drawn: presenting the
// same pixels again is enough.
static void repaint(Picture &picture) {
    os_pump_messages();
    os_present_window(picture.window);
}

// The first picture comes with the first drawing after the desktop began
// to copy the screen: repaint until it has come, at most 10 s.
static void wait_first_picture(OsCapture *capture, Picture &picture) {
    for (i32 i = 0; i < 200 && status_of(capture).frames_received == 0; i++) {
        repaint(picture);
        os_sleep_ms(50);
    }
}

static std::string run_output;
static void collect(StrSlice chunk) { run_output.append(chunk.data, (size_t)chunk.length); }

static std::string run(const std::string &command) {
    run_output.clear();
    os_run_process(S(command), collect, false);
    return run_output;
}

static std::string folder;

class Capture : public testing::Test {
protected:
    static void SetUpTestSuite() {
        char path[] = "/tmp/vornby-capture-test-XXXXXX";
        folder = mkdtemp(path);
    }
    static void TearDownTestSuite() { run("rm -rf " + folder); }
};

// The recorder's own codec.
static const char lossless[] = "-c:v libx264rgb -preset ultrafast -qp 0";

static std::string restore_token;

TEST_F(Capture, RecordsTheRegionLosslesslyAtTheChosenRate) {
    ASSERT_TRUE(os_capture_needed()) << "run under scripts/with-wayland";
    OsRect window = {300, 200, 400, 300};
    Picture picture = show_picture(window);
    OsCaptureSettings settings = {{311, 207, 333, 251}, 30, false, {0, nullptr}};
    OsCapture *capture = os_capture_start(&settings);
    OsCaptureStatus s = wait_started(capture, [&] { repaint(picture); });
    ASSERT_EQ(s.state, OS_CAPTURE_READY) << s.message;
    EXPECT_EQ(s.width, 333);
    EXPECT_EQ(s.height, 251);
    EXPECT_FALSE(s.partial) << s.message;
    EXPECT_NE(s.restore_token[0], 0) << "persist mode 2 gives a token";
    restore_token = s.restore_token;

    std::string output = folder + "/lossless.mp4";
    OsProcess encoder = {};
    ASSERT_EQ(os_process_start(&encoder, S(encoder_command(s, lossless, output)), false), 0);
    // A picture, then a still screen for 2 s: the frames keep coming.
    wait_first_picture(capture, picture);
    os_sleep_ms(2000);
    os_process_write(&encoder, 2, "q\n");
    EXPECT_TRUE(wait_exit(&encoder, 20));
    i32 code = -1;
    EXPECT_TRUE(os_process_exit_code(&encoder, &code));
    EXPECT_EQ(code, 0);
    os_process_kill(&encoder);
    s = status_of(capture);
    os_capture_stop(capture);
    os_destroy_window(picture.window);

    // The first frame, decoded, is the picture under the region exactly.
    std::string raw = folder + "/frame.raw";
    run("ffmpeg -y -loglevel error -i \"" + output + "\" -frames:v 1 -f rawvideo -pix_fmt bgr0 \"" + raw + "\"");
    StrSlice frame = os_read_entire_file(S(raw));
    ASSERT_EQ(frame.length, (i64)333 * 251 * 4);
    i32 wrong = 0;
    for (i32 y = 0; y < 251; y++)
        for (i32 x = 0; x < 333; x++) {
            const u8 *p = (const u8 *)frame.data + ((i64)y * 333 + x) * 4;
            u32 got = 0xFF000000u | (u32)p[2] << 16 | (u32)p[1] << 8 | p[0];
            if (got != picture_pixel(x + 11, y + 7) && wrong++ < 3)
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << got << " not "
                              << picture_pixel(x + 11, y + 7);
        }
    EXPECT_EQ(wrong, 0);
    os_free_file(&frame);

    // A still screen sends almost nothing; the file has the frames anyway.
    std::string count = run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                            "stream=nb_read_frames -of csv=p=0 \"" + output + "\"");
    i64 frames = atoll(count.c_str());
    EXPECT_GE(frames, 10) << count;
    EXPECT_GE((u64)frames, 2 * s.frames_received) << "no frames repeated: " << s.frames_received << " received";
    EXPECT_LE((u64)frames, s.frames_written);
}

TEST_F(Capture, TheRestoreTokenSkipsTheQuestionAndADeclineIsCancelled) {
    ASSERT_FALSE(restore_token.empty()) << "needs the first test's token";
    std::string decline = std::string(getenv("VORNBY_RIG")) + "/decline";
    ASSERT_EQ(os_write_file(S(decline), 0, ""), 0);

    OsCaptureSettings settings = {{0, 0, 64, 64}, 10, true, S(restore_token)};
    OsCapture *capture = os_capture_start(&settings);
    OsCaptureStatus s = wait_started(capture);
    EXPECT_EQ(s.state, OS_CAPTURE_READY) << s.message;
    EXPECT_NE(std::string(s.restore_token), "") << "a new token for the next time";
    os_capture_stop(capture);

    settings.restore_token = StrSlice{0, nullptr};
    capture = os_capture_start(&settings);
    s = wait_started(capture);
    EXPECT_EQ(s.state, OS_CAPTURE_ENDED);
    EXPECT_EQ(s.result, OS_CAPTURE_CANCELLED);
    EXPECT_STREQ(s.message, "Screen sharing was declined (at SelectSources)");
    os_capture_stop(capture);
    os_delete_file(S(decline));
}

TEST_F(Capture, WithoutAPortalItSaysSo) {
    std::string bus = getenv("DBUS_SESSION_BUS_ADDRESS");
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + folder + "/no-bus").c_str(), 1);
    OsCaptureSettings settings = {{0, 0, 64, 64}, 10, true, {0, nullptr}};
    OsCapture *capture = os_capture_start(&settings);
    OsCaptureStatus s = wait_started(capture);
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    EXPECT_EQ(s.state, OS_CAPTURE_ENDED);
    EXPECT_EQ(s.result, OS_CAPTURE_NO_PORTAL);
    EXPECT_NE(strstr(s.message, "No desktop portal: no session bus"), nullptr) << s.message;
    EXPECT_EQ(s.pipe_path[0], 0);
    os_capture_stop(capture);
}

// Last, as it ends the portal: the desktop ends the stream, and the
// recording so far is kept.
TEST_F(Capture, TheDesktopEndingTheStreamKeepsTheFile) {
    OsRect window = {0, 0, 200, 100};
    Picture picture = show_picture(window);
    OsCaptureSettings settings = {{0, 0, 200, 100}, 30, false, {0, nullptr}};
    OsCapture *capture = os_capture_start(&settings);
    OsCaptureStatus s = wait_started(capture, [&] { repaint(picture); });
    ASSERT_EQ(s.state, OS_CAPTURE_READY) << s.message;
    std::string output = folder + "/unplugged.mp4";
    OsProcess encoder = {};
    ASSERT_EQ(os_process_start(&encoder, S(encoder_command(s, lossless, output)), false), 0);
    wait_first_picture(capture, picture);
    for (i32 i = 0; i < 200 && status_of(capture).frames_written == 0; i++) os_sleep_ms(50);
    ASSERT_GT(status_of(capture).frames_written, 0u);
    // The portal's backend ending stands for a monitor unplugged or the
    // session locked: the desktop ends the stream.
    StrSlice backend = os_read_entire_file(S(std::string(getenv("VORNBY_RIG")) + "/xdpw.pid"));
    ASSERT_GT(backend.length, 0);
    ASSERT_EQ(kill(atoi(backend.data), SIGTERM), 0);
    os_free_file(&backend);
    for (i32 i = 0; i < 100 && status_of(capture).state != OS_CAPTURE_ENDED; i++) os_sleep_ms(50);
    s = status_of(capture);
    EXPECT_EQ(s.result, OS_CAPTURE_STREAM_ENDED) << s.message;
    // The pipe closed, so the encoder finishes the file by itself.
    EXPECT_TRUE(wait_exit(&encoder, 20));
    os_process_kill(&encoder);
    os_capture_stop(capture);
    os_destroy_window(picture.window);
    std::string count = run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                            "stream=nb_read_frames -of csv=p=0 \"" + output + "\"");
    EXPECT_GE(atoll(count.c_str()), 1) << count;
}

// Region to stream pixels under scaling: a monitor at 1.5, its logical
// 1280x720 at x = 1920 holding 1920x1080 pixels. Shared edges land on the
// same pixel, so neighbouring regions neither overlap nor leave a gap.
TEST(CaptureCrop, ScalesAndRoundsEdgesAlike) {
    OsRect monitor = {1920, 0, 1280, 720};
    auto edges = [](OsRect r) { return std::vector<i32>{r.x, r.y, r.width, r.height}; };
    OsRect a = os_lnx_capture_crop(OsRect{2021, 51, 201, 99}, monitor, 1920, 1080);
    EXPECT_EQ(edges(a), (std::vector<i32>{152, 77, 301, 148}));
    OsRect b = os_lnx_capture_crop(OsRect{2222, 51, 33, 99}, monitor, 1920, 1080);
    EXPECT_EQ(b.x, a.x + a.width);
    EXPECT_EQ(edges(os_lnx_capture_crop(monitor, monitor, 1920, 1080)), (std::vector<i32>{0, 0, 1920, 1080}));
    // Left of the monitor: negative, the part outside is filled black.
    EXPECT_EQ(edges(os_lnx_capture_crop(OsRect{1900, 0, 40, 10}, monitor, 1920, 1080)),
              (std::vector<i32>{-30, 0, 60, 15}));
}
