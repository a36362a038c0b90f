// Stands in for the encoder in the recorder's tests: logs its command line,
// creates the output file (its last argument) and exits 0 on "q\n". The
// environment variable FAKE_FFMPEG_MODE, a list of words, changes that:
//   fail      print a message naming the run (1 for the first start in this
//             folder, 2 for the next...) and exit 3 at once
//   ignore_q  never exit by itself (must be killed)
//   chatty    print 1 MiB before waiting, which only a draining reader lets through
//   endless   after "q", go on printing a line every 200 ms and never exit
//   grow_after_q  after "q", add to the file for 7 s without a word, end it
//             with "whole" and exit, as ffmpeg finishing a long recording
//   first_copy_fails  the first conversion in this folder writes part of its
//             file, says why and exits 1
// Given "-progress" (a conversion), it reports progress once a file named
// progress_go appears beside it, so a test sees the line before and after.
// Given "-c copy" or "-c:v copy" (the finishing step), it copies its input to
// its output, or only reads it when the output is "-", reports the input's
// size as frames and tenths of a second, and exits 0.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

#include "os/os.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

static std::string command_line(int argc, char **argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    return GetCommandLineA();
#else
    std::string line;
    for (int i = 0; i < argc; i++) {
        if (i) line += ' ';
        bool quote = strchr(argv[i], ' ') != nullptr;
        line += quote ? "\"" + std::string(argv[i]) + "\"" : std::string(argv[i]);
    }
    return line;
#endif
}

static bool has_mode(const char *word) {
    const char *modes = getenv("FAKE_FFMPEG_MODE");
    return modes && (" " + std::string(modes) + " ").find(" " + std::string(word) + " ") != std::string::npos;
}

// The logged command lines (not the input lines) with want in them and not
// avoid (if given).
static int logged_commands(const std::string &log, const char *want, const char *avoid) {
    int count = 0;
    for (size_t at = 0; at < log.size(); at = log.find('\n', at) + 1) {
        std::string line = log.substr(at, log.find('\n', at) - at);
        count += line.compare(0, 7, "stdin: ") != 0 && line.find(want) != std::string::npos &&
                 (!avoid || line.find(avoid) == std::string::npos);
    }
    return count;
}

int main(int argc, char **argv) {
    os_init();

    StrSlice log_parts[2] = {{15, (char *)"fake_ffmpeg.log"}, {0, nullptr}};
    StrSlice log_path = os_exe_folder_join(log_parts);
    std::string line = command_line(argc, argv) + "\n";
    StrSlice old = os_read_entire_file(log_path);
    std::string log = std::string(old.data ? old.data : "", (size_t)old.length) + line;
    os_free_file(&old);
    os_write_file(log_path, (u32)log.size(), log.data());

    if (has_mode("fail")) {
        os_print("fake encoder: cannot open the capture device (run %i)\n", logged_commands(log, "", nullptr));
        return 3;
    }
    for (int i = 1; i + 1 < argc; i++) {
        bool copy = (strcmp(argv[i], "-c") == 0 || strcmp(argv[i], "-c:v") == 0) && strcmp(argv[i + 1], "copy") == 0;
        if (!copy) continue;
        const char *input = "", *output = argv[argc - 1];
        for (int j = 1; j + 1 < argc; j++)
            if (strcmp(argv[j], "-i") == 0) input = argv[j + 1];
        StrSlice content = os_read_entire_file(StrSlice{(i64)strlen(input), (char *)input});
        if (!content.data) return 1;
        if (strcmp(output, "-") != 0)
            os_write_file(StrSlice{(i64)strlen(output), (char *)output}, (u32)content.length, content.data);
        os_print("frame=%lli\nout_time_us=%lli\nprogress=end\n", (long long)content.length,
                 (long long)content.length * 100000);
        os_free_file(&content);
        return 0;
    }
    StrSlice output = {0, nullptr};
    if (argc > 1) {
        output = StrSlice{(i64)strlen(argv[argc - 1]), argv[argc - 1]};
        os_write_file(output, 8, "fake mp4");
    }
    bool converting = false;
    for (int i = 1; i < argc; i++) converting |= strcmp(argv[i], "-progress") == 0;
    // The first conversion: the finishing steps also report progress, but copy.
    if (converting && has_mode("first_copy_fails") && logged_commands(log, "-progress", " copy ") == 1) {
        os_write_file(output, 7, "partial");
        os_print("fake converter: no room left for the copy\n");
        return 1;
    }
    if (has_mode("chatty")) {
        static char chunk[1000];
        memset(chunk, 'x', sizeof chunk - 1);
        for (int i = 0; i < 1049; i++) os_print("%s\n", chunk);
    }
    if (converting) {
        StrSlice go_parts[2] = {{11, (char *)"progress_go"}, {0, nullptr}};
        StrSlice go = os_exe_folder_join(go_parts);
        for (int waited = 0; !os_path_exists(go) && waited < 1200; waited++) os_sleep_ms(50);
        os_print("out_time_us=3600000000\nprogress=continue\n");
    }
    char input[64];
    for (;;) {
        if (!fgets(input, sizeof input, stdin)) {
            if (has_mode("ignore_q")) {
                os_sleep_ms(100);
                continue;
            }
            return 0;
        }
        // Every line the recorder sends is logged, so a test can count them.
        log += "stdin: " + std::string(input);
        os_write_file(log_path, (u32)log.size(), log.data());
        if (strcmp(input, "q\n") == 0 && has_mode("endless")) {
            for (;;) {
                os_print("frame=1 time=00:00:01.00 still finishing\n");
                os_sleep_ms(200);
            }
        }
        if (strcmp(input, "q\n") == 0 && !has_mode("ignore_q")) {
            if (has_mode("grow_after_q")) {
                std::string content = "fake mp4";
                for (int step = 0; step < 28; step++, os_sleep_ms(250)) {
                    content += std::string(1000, 'g');
                    os_write_file(output, (u32)content.size(), content.data());
                }
                content += "whole";
                os_write_file(output, (u32)content.size(), content.data());
            }
            os_print("fake encoder: finished\n");
            return 0;
        }
    }
}
