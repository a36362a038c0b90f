// os_print and os_format: output that arrives whole, measuring and truncation.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "os/os.h"
#include "redirect.h"

#ifndef _WIN32
#include <unistd.h>
#endif

TEST(Print, LongTextArrivesWholeAndInOrderThroughAPipe) {
    // 3,000 bytes span three 1024-byte pieces; each byte position is unique
    // enough (index mod 251) to show a lost or repeated piece.
    static char text[3001];
    for (int i = 0; i < 3000; i++) text[i] = (char)('!' + i % 251 % 90);
    text[3000] = 0;
    StdoutCapture capture;
    capture.start();
    os_print("<%s|%i>", text, 42);
    std::string out = capture.finish();
    EXPECT_EQ(out, "<" + std::string(text) + "|42>");
}

TEST(Print, PiecesOfSeveralCallsKeepTheirOrder) {
    StdoutCapture capture;
    capture.start();
    for (int i = 0; i < 200; i++) os_print("%i,", i);
    os_print("%.*s\n", 3, "abcdef");
    std::string out = capture.finish();
    std::string expected;
    for (int i = 0; i < 200; i++) expected += std::to_string(i) + ",";
    EXPECT_EQ(out, expected + "abc\n");
}

TEST(Print, ClosedReaderIsIgnored) {
    fflush(stdout);
    int fds[2];
    ASSERT_EQ(test_pipe(fds), 0);
    test_close(fds[0]);
    int saved = test_dup(1);
    test_dup2(fds[1], 1);
    test_close(fds[1]);
    test_sync_std_handle(1);
    // Without SIGPIPE ignored (os_init) this would end the test process.
    os_print("nobody reads this %i\n", 1);
    test_dup2(saved, 1);
    test_close(saved);
    test_sync_std_handle(1);
    SUCCEED();
}

#ifdef _WIN32
TEST(Print, MissingStandardOutputIsIgnored) {
    HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
    os_print("lost %i\n", 1);
    SetStdHandle(STD_OUTPUT_HANDLE, INVALID_HANDLE_VALUE);
    os_print("lost %i\n", 2);
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    SUCCEED();
}
#else
TEST(Print, MissingStandardOutputIsIgnored) {
    fflush(stdout);
    int saved = dup(1);
    close(1);
    os_print("lost %i\n", 1);
    dup2(saved, 1);
    close(saved);
    SUCCEED();
}
#endif

TEST(Format, MeasuresWithNullBufferAndCapacityZero) {
    EXPECT_EQ(os_format(nullptr, 0, "FPS %i", 5), 5);
    // A real buffer with capacity 0 is also only measured: not one byte written.
    char untouched[4] = {'x', 'y', 'z', 'w'};
    EXPECT_EQ(os_format(untouched + 1, 0, "FPS %i", 5), 5);
    EXPECT_EQ(memcmp(untouched, "xyzw", 4), 0);
}

TEST(Format, TruncatesButReportsTheFullLength) {
    char buffer[8];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(os_format(buffer, 3, "FPS %i", 5), 5);
    EXPECT_EQ(buffer[0], 'F');
    EXPECT_EQ(buffer[1], 'P');
    EXPECT_EQ(buffer[2], 0);
    EXPECT_EQ(buffer[3], '#');

    EXPECT_EQ(os_format(buffer, 1, "abc"), 3);
    EXPECT_EQ(buffer[0], 0);
}

TEST(Format, MeasureThenFormatALongCommandLine) {
    // The way command lines are built: measure, allocate length + 1, format.
    std::string path(3000, 'p');
    const char *format = "\"%s\" -f gdigrab -framerate %i -offset_x %i -i desktop \"%.*s\"";
    i32 length = os_format(nullptr, 0, format, "ffmpeg.exe", 60, -1920, (int)path.size(), path.data());
    ASSERT_EQ(length, (i32)(strlen("\"ffmpeg.exe\" -f gdigrab -framerate 60 -offset_x -1920 -i desktop \"\"") + 3000));
    std::string buffer((size_t)length + 1, '#');
    EXPECT_EQ(os_format(&buffer[0], length + 1, format, "ffmpeg.exe", 60, -1920, (int)path.size(), path.data()), length);
    EXPECT_EQ(buffer[(size_t)length], 0);
    EXPECT_EQ(buffer.substr((size_t)length - 4, 4), "ppp\"");
}

static std::string file_text(const std::string &path) {
    StrSlice file = os_read_entire_file(StrSlice{(i64)path.size(), (char *)path.c_str()});
    std::string text(file.data ? file.data : "", (size_t)(file.length > 0 ? file.length : 0));
    os_free_file(&file);
    return text;
}

// "2026-12-08 14:03:07.250 " in front of each line; the lines without it.
static std::vector<std::string> logged_lines(const std::string &log) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < log.size()) {
        size_t end = log.find('\n', at);
        std::string line = log.substr(at, end == std::string::npos ? std::string::npos : end - at);
        int y, mo, d, h, mi, s, ms;
        char space = 0;
        if (sscanf(line.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d%c", &y, &mo, &d, &h, &mi, &s, &ms, &space) != 8 ||
            space != ' ' || line[4] != '-' || line[23] != ' ')
            lines.push_back("no time: " + line);
        else lines.push_back(line.substr(24));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return lines;
}

TEST(Log, CopiesStandardOutputWithATimePerLineAndKeepsThePreviousRun) {
    StrSlice folder = os_exe_folder();
    std::string path = std::string(folder.data, (size_t)folder.length) + "test_print.log";
    std::string kept = path + ".1";
    StrSlice path_slice = {(i64)path.size(), (char *)path.c_str()};
    StrSlice kept_slice = {(i64)kept.size(), (char *)kept.c_str()};
    os_write_file(path_slice, 9, "last run\n");
    ASSERT_TRUE(os_set_log_file(path_slice));
    EXPECT_EQ(file_text(kept), "last run\n");
    EXPECT_EQ(file_text(path), "");

    StdoutCapture capture;
    capture.start();
    os_print("first %i\nsecond", 1);
    os_print(" half\n");
    os_log("only in the log %s\n", "here");
    std::string out = capture.finish();
    EXPECT_EQ(out, "first 1\nsecond half\n");
    EXPECT_EQ(logged_lines(file_text(path)),
              (std::vector<std::string>{"first 1", "second half", "only in the log here"}));

    // Past 1 MiB the log starts again and the full one becomes the kept file.
    std::string line(999, 'x');
    for (int i = 0; i < 1100; i++) os_log("%s\n", line.c_str());
    i64 size = os_file_size(path_slice), kept_size = os_file_size(kept_slice);
    EXPECT_LE(size, 1 << 20);
    EXPECT_GT(size, 0);
    EXPECT_LE(kept_size, 1 << 20);
    EXPECT_GT(kept_size, 1000 * 1000);
    EXPECT_EQ(file_text(kept).find("first 1"), (size_t)24);

    EXPECT_FALSE(os_set_log_file(StrSlice{0, nullptr}));
    os_print("after the end\n");
    EXPECT_EQ(file_text(path).find("after the end"), std::string::npos);
    os_delete_file(path_slice);
    os_delete_file(kept_slice);
}

TEST(Log, NeverTruncatesOrFollowsWhatItDidNotCreate) {
    std::string folder = os_exe_folder().data, path = folder + "test_print_safe.log", kept = path + ".1";
    auto slice = [](const std::string &text) { return StrSlice{(i64)text.size(), (char *)text.c_str()}; };
    // A folder in the kept log's place: the old log cannot move away, so it
    // is continued, never emptied.
    os_write_file(slice(path), 8, "old run\n");
    ASSERT_EQ(os_make_directory(slice(kept)), 0);
    ASSERT_TRUE(os_set_log_file(slice(path)));
#ifdef _WIN32
    // A viewer holding the log (sharing reading and writing) misses nothing.
    HANDLE viewer = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(viewer, INVALID_HANDLE_VALUE);
    os_log("new run\n");
    CloseHandle(viewer);
#else
    os_log("new run\n");
#endif
    os_set_log_file(StrSlice{0, nullptr});
    EXPECT_EQ(logged_lines(file_text(path)), (std::vector<std::string>{"no time: old run", "new run"}));
    os_remove_directory(slice(kept));
#ifndef _WIN32
    // Links planted at both names are moved as themselves; one that cannot
    // be moved away is not written through. Their target stays whole.
    std::string target = folder + "test_print_target";
    os_write_file(slice(target), 8, "precious");
    os_delete_file(slice(path));
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    ASSERT_EQ(symlink(target.c_str(), kept.c_str()), 0);
    ASSERT_TRUE(os_set_log_file(slice(path)));
    os_set_log_file(StrSlice{0, nullptr});
    os_delete_file(slice(path));
    os_replace_file(slice(kept), slice(path));
    ASSERT_EQ(os_make_directory(slice(kept)), 0);
    EXPECT_FALSE(os_set_log_file(slice(path)));
    EXPECT_EQ(file_text(target), "precious");
    os_remove_directory(slice(kept));
    os_delete_file(slice(target));
#endif
    os_delete_file(slice(path));
}
