// os_print and os_format: output that arrives whole, measuring and truncation.
#include <gtest/gtest.h>
#include <string.h>

#include "os/os.h"
#include "redirect.h"

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
