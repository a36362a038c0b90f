// Config.txt: the grammar, the filters, number wrapping and the 0 -> 1 rule,
// line ends, repeated keys, and that only the given bytes are read.
#include <gtest/gtest.h>
#include <string>

#include "recorder/app.h"
#include "recorder/app_files.h"
#include "recorder/config.h"

static void reset_app(void) {
    os_free(app.output_name_template.data);
    os_free(app.audio_device.data);
    app = AppState{};
}

static void load(std::string content) {
    reset_app();
    config_load(StrSlice{(i64)content.size(), content.data()});
}

static std::string text(const TextBuilder &b) { return b.data ? std::string(b.data, (size_t)b.length) : ""; }

// A Config.txt loaded alone into fresh settings, and every value it leaves:
// the dash length, thickness, size rounding, file name and audio device
// ("" for a text never set).
struct ConfigCase {
    std::string content;
    i32 length, thickness, rounding;
    const char *name, *device;
};

static const ConfigCase config_cases[] = {
    // Blanks around keys and values, exact keys, comments; lines without
    // "=", an empty key and an empty value are skipped whole.
    {"frame_dash_length=5", 5, 1, 10, "", ""},
    {" \t frame_dash_length \t = \t 7 \t \n", 7, 1, 10, "", ""},
    {"Frame_dash_length=7\n", 2, 1, 10, "", ""},
    {"  # frame_dash_length=9\nframe_dash_thickness=3\n", 2, 3, 10, "", ""},
    {"# only a comment, no line end", 2, 1, 10, "", ""},
    {"frame_dash_length=7 #x\noutput_file_name=a#b\n", 7, 1, 10, "a#b", ""},
    {"frame_dash_length 4\n=5\nframe_dash_length=\nframe_dash_thickness=\t\nframe_size_rounding=3\nframe_dash_length",
     2, 1, 3, "", ""},
    {"frame_dash_length=   ", 2, 1, 10, "", ""},
    {"frame dash_length=4\nframe_dash_length =4 \n", 4, 1, 10, "", ""},
    {"", 2, 1, 10, "", ""},
    // Numbers wrap at 16 bits, 0 becomes 1 (not for the rounding), and
    // wrapped values past the drawable limits stop at them: -1 is 65535.
    {"frame_dash_length=0\n", 1, 1, 10, "", ""},
    {"frame_dash_length=abc\n", 1, 1, 10, "", ""},
    {"frame_dash_thickness=0\n", 2, 1, 10, "", ""},
    {"frame_size_rounding=0\n", 2, 1, 0, "", ""},
    {"frame_size_rounding=-5\n", 2, 1, -5, "", ""},
    {"frame_dash_thickness=70000\n", 2, 64, 10, "", ""},
    {"frame_dash_thickness=-1\n", 2, 64, 10, "", ""},
    {"frame_dash_thickness=64\n", 2, 64, 10, "", ""},
    {"frame_dash_length=20000\n", 1000, 1, 10, "", ""},
    {"frame_dash_length=1x2\n", 12, 1, 10, "", ""},
    {"frame_size_rounding=40000\n", 2, 1, -25536, "", ""},
    {"frame_size_rounding=-40000\n", 2, 1, 25536, "", ""},
    {"frame_size_rounding=5-3\n", 2, 1, 53, "", ""}, // only a leading minus counts
    {"frame_dash_length=65536\n", 1, 1, 10, "", ""}, // wraps to 0, then 0 -> 1
    // The texts' filters.
    {"output_file_name=rec: <year>/<month>\n", 2, 1, 10, "rec <year><month>", ""},
    {"output_file_name=a  b\n", 2, 1, 10, "a b", ""},
    {"output_file_name=a    b\"*?\\|:c\n", 2, 1, 10, "a bc", ""},
    {"output_file_name=caf\xC3\xA9 \x7F" "x\n", 2, 1, 10, "caf x", ""},
    // The scan looks at the byte that follows before later removals close a
    // gap: a space, a control byte, a space keep both spaces.
    {"output_file_name=a \x01 b\n", 2, 1, 10, "a  b", ""},
    {"audio_device_name=\"Mic (USB)\"\n", 2, 1, 10, "", "Mic (USB)"},
    {"audio_device_name=Mikrofon (Ger\xC3\xA4t) ^2 a  b:/\n", 2, 1, 10, "", "Mikrofon (Gert) 2 a  b:/"},
    // Repeated keys: the last value counts, an empty one is skipped; a lone
    // carriage return ends a line; zero bytes are ordinary bytes (the
    // length decides, not a terminator).
    {"output_file_name=a\noutput_file_name=b\n", 2, 1, 10, "b", ""},
    {"frame_dash_length=3\nframe_dash_length=\n", 3, 1, 10, "", ""},
    {"frame_dash_length=6\rframe_dash_thickness=2\r", 6, 2, 10, "", ""},
    {std::string("frame_dash_length=1\0" "2\n", 22), 12, 1, 10, "", ""},
};

TEST(Config, EachSettingLoadedAlone) {
    for (const ConfigCase &c : config_cases) {
        SCOPED_TRACE(testing::PrintToString(c.content));
        load(c.content);
        EXPECT_EQ(app.frame_dash_length, c.length);
        EXPECT_EQ(app.frame_dash_thickness, c.thickness);
        EXPECT_EQ(app.frame_size_rounding, c.rounding);
        EXPECT_EQ(text(app.output_name_template), c.name);
        EXPECT_EQ(text(app.audio_device), c.device);
    }
}

TEST(Config, LineEndsFiltersAndLimits) {
    // A name filtered down to nothing is an empty text, not a missing one.
    load("output_file_name=\x01 \x01\n");
    EXPECT_EQ(app.output_name_template.length, 0);
    ASSERT_NE(app.output_name_template.data, nullptr);
    EXPECT_EQ(app.output_name_template.data[0], 0);
    EXPECT_EQ(app.output_name_template.capacity, 256);

    const char *lines = "output_file_name=clip <n>\n# x\naudio_device_name=Mic\nframe_dash_length=4\n";
    std::string crlf;
    for (const char *c = lines; *c; c++) crlf += *c == '\n' ? std::string("\r\n") : std::string(1, *c);
    load(lines);
    std::string name = text(app.output_name_template), device = text(app.audio_device);
    load(crlf);
    EXPECT_EQ(text(app.output_name_template), name);
    EXPECT_EQ(text(app.audio_device), device);
    EXPECT_EQ(app.frame_dash_length, 4);

    // Only the slice is read, not the bytes that follow it in memory.
    reset_app();
    std::string longer = "frame_dash_length=1999";
    config_load(StrSlice{19, longer.data()});
    EXPECT_EQ(app.frame_dash_length, 1);

    // A 4 MB value of space runs and control bytes filters in one pass.
    std::string huge = "output_file_name=";
    for (int i = 0; i < 1000000; i++) huge += "  \x02x";
    load(huge);
    EXPECT_EQ(app.output_name_template.length, 2000000 - 1);
}

TEST(ConfigFile, ReadsConfigBesideTheExecutable) {
    char path[513];
    ASSERT_TRUE(app_file_path(path, "Config.txt"));
    StrSlice path_slice = {(i64)strlen(path), path};
    const char content[] = "frame_dash_length = 9\r\noutput_file_name=take <n>\r\n";
    ASSERT_EQ(os_write_file(path_slice, sizeof content - 1, content), 0);
    reset_app();
    config_load_file();
    EXPECT_EQ(app.frame_dash_length, 9);
    EXPECT_EQ(text(app.output_name_template), "take <n>");

    ASSERT_EQ(os_delete_file(path_slice), 0);
    reset_app();
    config_load_file();
    EXPECT_EQ(app.frame_dash_length, 2);
    EXPECT_EQ(app.output_name_template.data, nullptr);
}
