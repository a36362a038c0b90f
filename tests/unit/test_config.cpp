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

TEST(Config, GrammarBlanksCommentsAndKeys) {
    load("frame_dash_length=5");
    EXPECT_EQ(app.frame_dash_length, 5);
    load(" \t frame_dash_length \t = \t 7 \t \n");
    EXPECT_EQ(app.frame_dash_length, 7);
    load("Frame_dash_length=7\n");
    EXPECT_EQ(app.frame_dash_length, 2);
    load("  # frame_dash_length=9\nframe_dash_thickness=3\n");
    EXPECT_EQ(app.frame_dash_length, 2);
    EXPECT_EQ(app.frame_dash_thickness, 3);
    load("# only a comment, no line end");
    EXPECT_EQ(app.frame_dash_length, 2);
    load("frame_dash_length=7 #x\noutput_file_name=a#b\n");
    EXPECT_EQ(app.frame_dash_length, 7);
    EXPECT_EQ(text(app.output_name_template), "a#b");
    // Lines without "=", an empty key and an empty value are skipped whole.
    load("frame_dash_length 4\n=5\nframe_dash_length=\nframe_dash_thickness=\t\nframe_size_rounding=3\nframe_dash_length");
    EXPECT_EQ(app.frame_dash_length, 2);
    EXPECT_EQ(app.frame_dash_thickness, 1);
    EXPECT_EQ(app.frame_size_rounding, 3);
    load("frame_dash_length=   ");
    EXPECT_EQ(app.frame_dash_length, 2);
    load("frame dash_length=4\nframe_dash_length =4 \n");
    EXPECT_EQ(app.frame_dash_length, 4);
    load("");
    EXPECT_EQ(app.frame_size_rounding, 10);
}

TEST(Config, NumbersWrapAndZeroBecomesOne) {
    load("frame_dash_length=0\n");
    EXPECT_EQ(app.frame_dash_length, 1);
    load("frame_dash_length=abc\n");
    EXPECT_EQ(app.frame_dash_length, 1);
    load("frame_dash_thickness=0\n");
    EXPECT_EQ(app.frame_dash_thickness, 1);
    load("frame_size_rounding=0\n");
    EXPECT_EQ(app.frame_size_rounding, 0);
    load("frame_size_rounding=-5\n");
    EXPECT_EQ(app.frame_size_rounding, -5);
    load("frame_dash_thickness=70000\n");
    EXPECT_EQ(app.frame_dash_thickness, 4464);
    load("frame_dash_length=1x2\n");
    EXPECT_EQ(app.frame_dash_length, 12);
    load("frame_size_rounding=40000\n");
    EXPECT_EQ(app.frame_size_rounding, -25536);
    load("frame_size_rounding=-40000\n");
    EXPECT_EQ(app.frame_size_rounding, 25536);
    load("frame_size_rounding=5-3\n"); // only a leading minus counts
    EXPECT_EQ(app.frame_size_rounding, 53);
    load("frame_dash_length=65536\n"); // wraps to 0, then 0 -> 1
    EXPECT_EQ(app.frame_dash_length, 1);
}

TEST(Config, TextFilters) {
    load("output_file_name=rec: <year>/<month>\n");
    EXPECT_EQ(text(app.output_name_template), "rec <year><month>");
    load("output_file_name=a  b\n");
    EXPECT_EQ(text(app.output_name_template), "a b");
    load("output_file_name=a    b\"*?\\|:c\n");
    EXPECT_EQ(text(app.output_name_template), "a bc");
    load("output_file_name=caf\xC3\xA9 \x7F" "x\n");
    EXPECT_EQ(text(app.output_name_template), "caf x");
    // The scan looks at the byte that follows before later removals close a
    // gap: a space, a control byte, a space keep both spaces.
    load("output_file_name=a \x01 b\n");
    EXPECT_EQ(text(app.output_name_template), "a  b");
    load("output_file_name=\x01 \x01\n");
    EXPECT_EQ(app.output_name_template.length, 0);
    ASSERT_NE(app.output_name_template.data, nullptr);
    EXPECT_EQ(app.output_name_template.data[0], 0);
    EXPECT_EQ(app.output_name_template.capacity, 256);

    load("audio_device_name=\"Mic (USB)\"\n");
    EXPECT_EQ(text(app.audio_device), "Mic (USB)");
    load("audio_device_name=Mikrofon (Ger\xC3\xA4t) ^2 a  b:/\n");
    EXPECT_EQ(text(app.audio_device), "Mikrofon (Gert) 2 a  b:/");
}

TEST(Config, LineEndsRepeatsAndLimits) {
    load("output_file_name=a\noutput_file_name=b\n");
    EXPECT_EQ(text(app.output_name_template), "b");
    load("frame_dash_length=3\nframe_dash_length=\n");
    EXPECT_EQ(app.frame_dash_length, 3);

    const char *lines = "output_file_name=clip <n>\n# x\naudio_device_name=Mic\nframe_dash_length=4\n";
    std::string crlf;
    for (const char *c = lines; *c; c++) crlf += *c == '\n' ? std::string("\r\n") : std::string(1, *c);
    load(lines);
    std::string name = text(app.output_name_template), device = text(app.audio_device);
    load(crlf);
    EXPECT_EQ(text(app.output_name_template), name);
    EXPECT_EQ(text(app.audio_device), device);
    EXPECT_EQ(app.frame_dash_length, 4);
    load("frame_dash_length=6\rframe_dash_thickness=2\r");
    EXPECT_EQ(app.frame_dash_length, 6);
    EXPECT_EQ(app.frame_dash_thickness, 2);

    // Zero bytes are ordinary bytes: the length decides, not a terminator.
    load(std::string("frame_dash_length=1\0" "2\n", 22));
    EXPECT_EQ(app.frame_dash_length, 12);
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
