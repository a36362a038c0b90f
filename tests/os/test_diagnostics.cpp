// The last-error slot and the console helpers without a console.
#include <gtest/gtest.h>
#include <errno.h>
#include <string>

#include "os/os.h"
#include "redirect.h"

static void set_system_error(int code) {
#ifdef _WIN32
    SetLastError((DWORD)code);
#else
    errno = code;
#endif
}

TEST(LastError, CodeZeroGivesTheEmptySlice) {
    set_system_error(2);
    ASSERT_GT(os_capture_last_error(), 0);
    set_system_error(0);
    EXPECT_EQ(os_capture_last_error(), 0);
    StrSlice text = os_last_error_text();
    EXPECT_EQ(text.length, 0);
    EXPECT_EQ(text.data, nullptr);
    EXPECT_EQ(os_last_error_code(), 0u);
}

TEST(LastError, CaptureHoldsTheSystemMessage) {
    set_system_error(2); // ERROR_FILE_NOT_FOUND / ENOENT
    i32 written = os_capture_last_error();
    StrSlice text = os_last_error_text();
    EXPECT_EQ(os_last_error_code(), 2u);
    ASSERT_NE(text.data, nullptr);
    EXPECT_EQ(text.length, written);
    std::string message(text.data, (size_t)text.length);
#ifdef _WIN32
    EXPECT_TRUE(message == "The system cannot find the file specified.\r\n" ||
                message == "File not found.\r\n") // Wine's wording
        << message;
#else
    EXPECT_EQ(message, "No such file or directory");
#endif
    // A later capture replaces it.
    set_system_error(5);
    os_capture_last_error();
    EXPECT_NE(std::string(os_last_error_text().data), message);
}

TEST(Console, ReadLineStripsOnlyARealLineEnd) {
    char buffer[16];
    with_stdin("\n", [&] { os_console_read_line(sizeof buffer, buffer); });
    EXPECT_STREQ(buffer, "\n"); // a lone line feed stays
    with_stdin("ok\n", [&] { os_console_read_line(sizeof buffer, buffer); });
    EXPECT_STREQ(buffer, "ok");
    with_stdin("", [&] { os_console_read_line(sizeof buffer, buffer); });
    EXPECT_STREQ(buffer, "");
    // Last: the rest of the line stays in the stream for the next read.
    with_stdin("abcdefgh\n", [&] { os_console_read_line(5, buffer); });
    EXPECT_STREQ(buffer, "abcd"); // capacity - 1 bytes and the NUL
}

TEST(Console, WithoutAConsoleNothingHappensAndNothingIsWritten) {
    // Test output goes to a pipe here, so there is no console to colour:
    // escape codes or console calls must not end up in the redirected text.
    StdoutCapture capture;
    capture.start();
    os_console_color_red();
    os_console_color_green();
    os_console_color_blue();
    os_console_color_yellow();
    os_console_color_cyan();
    os_console_color_magenta();
    os_console_color_white();
    os_console_color_default();
    os_console_move_cursor(-100, 0);
    os_print("plain");
    std::string out = capture.finish();
    EXPECT_EQ(out, "plain");
}
