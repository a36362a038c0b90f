// The record hotkey's text and the share copy's command lines: what the user
// writes in Config.txt, and that any file name survives the quoting.
#include <gtest/gtest.h>
#include <algorithm>
#include <string.h>
#include <string>
#include <vector>

#include "os/os_internal.h"
#include "recorder/app.h"
#include "recorder/config.h"
#include "recorder/encoder.h"
#include "recorder/encoder_command.h"
#include "recorder/hotkey.h"
#include "recorder/share_copy.h"

static bool parse(const char *text, Hotkey *hotkey) {
    return hotkey_parse(StrSlice{(i64)strlen(text), (char *)text}, hotkey);
}

TEST(Hotkey, CombinationsAnyCaseWithBlanks) {
    struct Case { const char *text; u8 modifiers; u16 key; };
    const Case valid[] = {
        {"Ctrl+Alt+R", OS_HOTKEY_CTRL | OS_HOTKEY_ALT, 'R'},
        {" ctrl + SHIFT +\tf12 ", OS_HOTKEY_CTRL | OS_HOTKEY_SHIFT, 0x7B},
        {"F24", 0, 0x87},
        {"Win+PrintScreen", OS_HOTKEY_WIN, 0x2C},
        {"alt+5", OS_HOTKEY_ALT, '5'},
        {"Shift+pagedown", OS_HOTKEY_SHIFT, 0x22},
        {"Ctrl+Pause", OS_HOTKEY_CTRL, 0x13},
        {"Ctrl+Space", OS_HOTKEY_CTRL, 0x20},
    };
    for (const Case &c : valid) {
        Hotkey hotkey = {0xFF, 0xFFFF};
        EXPECT_TRUE(parse(c.text, &hotkey)) << c.text;
        EXPECT_EQ(hotkey.modifiers, c.modifiers) << c.text;
        EXPECT_EQ(hotkey.key, c.key) << c.text;
    }
    const char *invalid[] = {"", "Ctrl+", "+R", "Ctrl+Alt", "Ctrl+F25", "Ctrl+F0", "F1x", "Hyper+R",
                             "Ctrl+RR", "R+Ctrl", "Ctrl++R", "Ctrl+Esc", "Control+R", "Ctrl+-"};
    for (const char *text : invalid) {
        Hotkey hotkey = {0, 0};
        EXPECT_FALSE(parse(text, &hotkey)) << text;
    }
}

TEST(Hotkey, ShareCopySettingsFromConfig) {
    std::string content = "record_hotkey = Ctrl+Alt+R\nshare_copy = GIF\nshare_copy_max_width = 640\n"
                          "share_copy = webm\nshare_copy_max_width = -5\nshare_copy_max_width = 480\n";
    app = AppState{};
    config_load(StrSlice{(i64)content.size(), content.data()});
    EXPECT_EQ(std::string(app.record_hotkey.data), "Ctrl+Alt+R");
    EXPECT_EQ(app.share_copy, SHARE_COPY_GIF); // an unknown value keeps the last good one
    EXPECT_EQ(app.share_copy_max_width, 480);
    content = "share_copy_max_width = -5\nshare_copy = none\n";
    config_load(StrSlice{(i64)content.size(), content.data()});
    EXPECT_EQ(app.share_copy, SHARE_COPY_NONE);
    EXPECT_EQ(app.share_copy_max_width, 0);
    // Notepad's byte-order mark does not cost the first setting.
    content = "\xEF\xBB\xBFshare_copy = gif\r\n";
    config_load(StrSlice{(i64)content.size(), content.data()});
    EXPECT_EQ(app.share_copy, SHARE_COPY_GIF);
    os_free(app.record_hotkey.data);
    app = AppState{};
}

static std::string command(const char *recording, u8 kind, i32 max_width, i32 fps, std::string *copy_out) {
    TextBuilder copy = builder_create(16);
    share_copy_path(&copy, recording, kind, 1);
    ShareConversion conversion = {recording, copy.data, kind, max_width, fps};
    TextBuilder saved = app.encoder_command, built = builder_create(16);
    app.encoder_command = builder_create(32);
    builder_append_text(&app.encoder_command, "\"C:/rec/ffmpeg.exe\"");
    share_copy_command(&built, &conversion);
    std::string line(built.data, (size_t)built.length);
    os_free(built.data);
    os_free(app.encoder_command.data);
    app.encoder_command = saved;
    *copy_out = copy.data;
    os_free(copy.data);
    return line;
}

TEST(ShareCopy, CommandLines) {
    std::string copy;
    EXPECT_EQ(command("C:/rec/output/2026-03-07 4.mp4", SHARE_COPY_MP4, 0, 30, &copy),
              "\"C:/rec/ffmpeg.exe\" -hide_banner -nostdin -nostats -v error -progress pipe:1 -y "
              "-i \"C:/rec/output/2026-03-07 4.mp4\" -vf crop=trunc(iw/2)*2:trunc(ih/2)*2 -c:v libx264 -preset medium "
              "-crf 20 -pix_fmt yuv420p -c:a aac -b:a 160k -movflags +faststart \"C:/rec/output/2026-03-07 4.share.mp4\"");
    EXPECT_EQ(copy, "C:/rec/output/2026-03-07 4.share.mp4");
    EXPECT_NE(command("a.mp4", SHARE_COPY_MP4, 641, 30, &copy).find(" -vf scale=trunc(min(641\\,iw)/2)*2:-2 "),
              std::string::npos);
    // GIF: the rate capped at 25, the width limit, the palette in one pass of the graph.
    EXPECT_EQ(command("C:/rec/output/clip.mp4", SHARE_COPY_GIF, 480, 60, &copy),
              "\"C:/rec/ffmpeg.exe\" -hide_banner -nostdin -nostats -v error -progress pipe:1 -y "
              "-i \"C:/rec/output/clip.mp4\" -filter_complex fps=25,scale=min(480\\,iw):-1:flags=lanczos,"
              "split[a][b];[a]palettegen[p];[b][p]paletteuse -an \"C:/rec/output/clip.gif\"");
    EXPECT_NE(command("clip.mp4", SHARE_COPY_GIF, 0, 10, &copy).find("-filter_complex fps=10,split[a]"),
              std::string::npos);
    // The names after a taken one.
    TextBuilder numbered = builder_create(64);
    share_copy_path(&numbered, "/v/a 1.mp4", SHARE_COPY_MP4, 2);
    EXPECT_STREQ(numbered.data, "/v/a 1.share (2).mp4");
    share_copy_path(&numbered, "/v/a 1.mp4", SHARE_COPY_GIF, 13);
    EXPECT_STREQ(numbered.data, "/v/a 1 (13).gif");
    os_free(numbered.data);
}

TEST(ShareCopy, HostileNamesSurviveTheSplit) {
    const char *names[] = {"C:/my \"best\" take/rec.mp4", "C:\\odd\\ \\\"x\\\\.mp4", "/tmp/trail\\",
                           "/tmp/%s %i 100% -y.mp4", "/tmp/a;b&c|d `e` $HOME.mp4"};
    for (const char *name : names) {
        for (u8 kind : {SHARE_COPY_MP4, SHARE_COPY_GIF}) {
            std::string copy;
            std::string line = command(name, kind, 0, 30, &copy);
            i32 count = 0;
            char **argv = os_split_command_line(line.c_str(), &count);
            ASSERT_NE(argv, nullptr);
            std::vector<std::string> args(argv, argv + count);
            os_free(argv);
            ASSERT_GE(args.size(), 3u) << line;
            EXPECT_EQ(args[0], "C:/rec/ffmpeg.exe");
            auto input = std::find(args.begin(), args.end(), "-i");
            ASSERT_NE(input, args.end());
            EXPECT_EQ(*(input + 1), name) << line;
            EXPECT_EQ(args.back(), copy) << line;
            EXPECT_NE(copy, name);
        }
    }
}

static std::string source_file(const char *name) {
    std::string path = std::string(VORNBY_TESTS_DIR) + "/../" + name;
    StrSlice file = os_read_entire_file(StrSlice{(i64)path.size(), (char *)path.c_str()});
    std::string text(file.data ? file.data : "", (size_t)file.length);
    os_free_file(&file);
    return text;
}

// The sample Config.txt and the README list exactly the keys the parser
// knows, a number with its default.
TEST(Config, SampleAndReadmeListEveryKeyWithItsDefault) {
    std::string sample = source_file("assets/Config.txt"), readme = source_file("README.md");
    ASSERT_FALSE(sample.empty());
    ASSERT_FALSE(readme.empty());
    size_t sample_keys = 0, readme_keys = 0;
    for (size_t at = sample.find("\n#"); at != std::string::npos; at = sample.find("\n#", at + 1))
        if (sample.compare(at + 2, 1, " ") != 0 && sample.find(" = ", at) < sample.find('\n', at + 1)) sample_keys++;
    size_t table = readme.find("\n| Key | Meaning | Default |");
    ASSERT_NE(table, std::string::npos);
    table = readme.find('\n', table + 1); // the rule under the heading
    for (size_t at = readme.find('\n', table + 1); readme.compare(at, 4, "\n| `") == 0; at = readme.find('\n', at + 1))
        readme_keys++;
    EXPECT_EQ((i32)sample_keys, config_key_count);
    EXPECT_EQ((i32)readme_keys, config_key_count);
    for (i32 i = 0; i < config_key_count; i++) {
        const ConfigKey &key = config_keys[i];
        std::string line = std::string("\n#") + key.name + " = ";
        size_t at = sample.find(line);
        ASSERT_NE(at, std::string::npos) << key.name;
        size_t row = readme.find(std::string("\n| `") + key.name + "` |");
        ASSERT_NE(row, std::string::npos) << key.name;
        if (key.kind != CONFIG_NUMBER) continue;
        std::string value = sample.substr(at + line.size(), sample.find('\n', at + 1) - at - line.size());
        EXPECT_EQ(value, std::to_string(key.default_value)) << key.name;
        std::string cells = readme.substr(row, readme.find('\n', row + 1) - row);
        EXPECT_EQ(cells.substr(cells.rfind("| ", cells.size() - 3) + 2), std::to_string(key.default_value) + " |")
            << key.name;
    }
}

// What the encoder says of its progress, read without overflow however many
// digits a broken or hostile encoder prints.
TEST(Encoder, ProgressFromItsOutputLines) {
    struct Case {
        const char *line;
        i64 us;
    } cases[] = {
        {"frame=  90 fps= 30 q=-1.0 size=  1kB time=00:00:03.04 bitrate=1.0kbits/s speed=1x", 3040000},
        {"out_time_us=1500000", 1500000},
        {"out_time=00:01:00.000000", 60000000},
        {"time=N/A bitrate=N/A", -1},
        {"progress=continue", -1},
        {"out_time_us=99999999999999999999999999999", -2},
        {"time=99999999999999999999:00:00.00", -1},
    };
    for (const Case &c : cases) {
        i64 us = encoder_line_progress_us(c.line, (i64)strlen(c.line));
        if (c.us == -2) EXPECT_GT(us, 0) << c.line;
        else EXPECT_EQ(us, c.us) << c.line;
    }
}
