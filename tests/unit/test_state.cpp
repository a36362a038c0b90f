// _vornby.state: which fields a file of each length sets, the exact bytes
// written, and the round trip.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

#include "recorder/app.h"
#include "recorder/app_files.h"
#include "recorder/settings.h"

// A 40-byte file whose every field differs from the defaults.
static std::vector<u8> sample_file(void) {
    const u8 bytes[40] = {
        7,                                   // state byte
        0x10, 0, 0, 0, 0x20, 0, 0, 0,        // x0 16, y0 32
        0xFF, 0xFF, 0xFF, 0xFF, 0x30, 1, 0, 0, // x1 -1, y1 304
        5,                                   // frame style, unchecked
        0x88, 0x13, 0, 0,                    // delay 5000
        1, 0, 1, 7,                          // locked, no mouse, audio, 7 fps
        0x2C, 1, 0, 0, 0xF6, 0xFF, 0xFF, 0xFF, // panel 300, -10
        0x78, 0x56, 0x34, 0x12,              // counter
        0xEE, 0xEE};                         // ignored
    return std::vector<u8>(bytes, bytes + 40);
}

static void load_prefix(size_t length) {
    app = AppState{};
    std::vector<u8> file = sample_file();
    // An exact-size copy, so reading past the given length is a real overread.
    std::vector<u8> exact(file.begin(), file.begin() + (long)length);
    state_load(StrSlice{(i64)length, length ? (char *)exact.data() : nullptr});
}

TEST(State, ShortFilesSetOnlyTheirCompleteFields) {
    load_prefix(0);
    EXPECT_EQ(app.state_byte, 1);
    load_prefix(8);
    EXPECT_EQ(app.state_byte, 7);
    EXPECT_EQ(app.region_x0, 0);

    load_prefix(17);
    EXPECT_EQ(app.region_x0, 16);
    EXPECT_EQ(app.region_y0, 32);
    EXPECT_EQ(app.region_x1, -1);
    EXPECT_EQ(app.region_y1, 304);
    EXPECT_EQ(app.frame_style, 2);

    for (size_t length : {18u, 21u}) {
        load_prefix(length);
        EXPECT_EQ(app.frame_style, 5);
        EXPECT_EQ(app.delay_ms, 1000);
    }

    load_prefix(33);
    EXPECT_EQ(app.fps, 7);
    EXPECT_EQ(app.panel_x, 0);

    load_prefix(37);
    EXPECT_EQ(app.delay_ms, 5000);
    EXPECT_TRUE(app.region_locked);
    EXPECT_FALSE(app.draw_mouse);
    EXPECT_TRUE(app.record_audio);
    EXPECT_EQ(app.fps, 7);
    EXPECT_EQ(app.panel_x, 300);
    EXPECT_EQ(app.panel_y, -10);
    EXPECT_EQ(app.memory_counter, 0);

    load_prefix(40);
    EXPECT_EQ(app.memory_counter, 0x12345678);
}

TEST(State, SavesTheExactRecord) {
    app = AppState{};
    app.region_x0 = 770;
    app.region_y0 = 430;
    app.region_x1 = 1149;
    app.region_y1 = 649;
    app.panel_x = 780;
    app.panel_y = -661;
    u8 record[STATE_FILE_SIZE];
    state_encode(record);
    const u8 expected[STATE_FILE_SIZE] = {
        0x01, 0x02, 0x03, 0, 0, 0xAE, 0x01, 0, 0, 0x7D, 0x04, 0, 0, 0x89, 0x02, 0, 0,
        0x02, 0xE8, 0x03, 0, 0, 0x00, 0x01, 0x00, 0x1E,
        0x0C, 0x03, 0, 0, 0x6B, 0xFD, 0xFF, 0xFF, 0, 0, 0, 0};
    EXPECT_EQ(memcmp(record, expected, STATE_FILE_SIZE), 0);

    // Whatever was read comes back out, state byte included.
    std::vector<u8> file = sample_file();
    app = AppState{};
    state_load(StrSlice{40, (char *)file.data()});
    state_encode(record);
    EXPECT_EQ(memcmp(record, file.data(), STATE_FILE_SIZE), 0);
}

static StrSlice path_of(char (&path)[513]) { return StrSlice{(i64)strlen(path), path}; }

TEST(StateFile, SaveReplacesTheFileBesideTheExecutableAndLoadReadsIt) {
    char path[513];
    ASSERT_TRUE(app_file_path(path, "_vornby.state"));
    std::vector<u8> junk(100, 0xEE);
    ASSERT_EQ(os_write_file(path_of(path), 100, junk.data()), 0);

    std::vector<u8> file = sample_file();
    app = AppState{};
    state_load(StrSlice{38, (char *)file.data()});
    state_save();
    StrSlice written = os_read_entire_file(path_of(path));
    ASSERT_EQ(written.length, STATE_FILE_SIZE);
    EXPECT_EQ(memcmp(written.data, file.data(), STATE_FILE_SIZE), 0);
    os_free_file(&written);

    app = AppState{};
    state_load_file();
    EXPECT_EQ(app.state_byte, 7);
    EXPECT_EQ(app.region_y1, 304);
    EXPECT_EQ(app.memory_counter, 0x12345678);

    EXPECT_EQ(os_delete_file(path_of(path)), 0);
    app = AppState{};
    state_load_file(); // missing: the defaults stand
    EXPECT_EQ(app.state_byte, 1);
    EXPECT_EQ(app.fps, 30);
}

TEST(StateFile, PathsThatDoNotFitAreMissing) {
    char path[513];
    ASSERT_TRUE(app_file_path(path, "x"));
    StrSlice folder = os_exe_folder();
    EXPECT_EQ(strlen(path), (size_t)folder.length + 1);
    EXPECT_EQ(memcmp(path, folder.data, (size_t)folder.length), 0);
    std::string fits(512 - (size_t)folder.length, 'n');
    EXPECT_TRUE(app_file_path(path, fits.c_str()));
    EXPECT_EQ(strlen(path), 512u);
    std::string too_long = fits + "n";
    EXPECT_FALSE(app_file_path(path, too_long.c_str()));
    EXPECT_EQ(path[0], 0);
}
