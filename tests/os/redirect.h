// Test helper: point standard output (or input) of this process at a pipe,
// through the C runtime's descriptors, which on Windows also moves the
// system's standard handle that the library writes to.
#pragma once

#include <stdio.h>
#include <string>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#define test_pipe(fds) _pipe(fds, 65536, _O_BINARY)
#define test_dup _dup
#define test_dup2 _dup2
#define test_close _close
#define test_read _read
#define test_write _write
#else
#include <unistd.h>
#define test_pipe(fds) pipe(fds)
#define test_dup dup
#define test_dup2 dup2
#define test_close close
#define test_read read
#define test_write write
#endif

inline void test_sync_std_handle(int fd) {
#ifdef _WIN32
    DWORD which = fd == 0 ? STD_INPUT_HANDLE : STD_OUTPUT_HANDLE;
    SetStdHandle(which, (HANDLE)_get_osfhandle(fd));
#else
    (void)fd;
#endif
}

// Everything written to standard output between start and finish, drained
// by a reader thread so a full pipe never blocks the writer.
struct StdoutCapture {
    int saved = -1;
    int read_end = -1;
    std::string text;
    std::thread reader;

    void start() {
        fflush(stdout);
        int fds[2];
        if (test_pipe(fds) != 0) return;
        read_end = fds[0];
        saved = test_dup(1);
        test_dup2(fds[1], 1);
        test_close(fds[1]);
        test_sync_std_handle(1);
        reader = std::thread([this] {
            char chunk[4096];
            for (;;) {
                int got = (int)test_read(read_end, chunk, sizeof chunk);
                if (got <= 0) break;
                text.append(chunk, (size_t)got);
            }
        });
    }

    std::string finish() {
        fflush(stdout);
        test_dup2(saved, 1);
        test_close(saved);
        test_sync_std_handle(1);
        if (reader.joinable()) reader.join();
        test_close(read_end);
        return text;
    }
};

// Runs body with standard input reading the given bytes.
template <typename Body> void with_stdin(const std::string &bytes, Body body) {
    int fds[2];
    if (test_pipe(fds) != 0) return;
    test_write(fds[1], bytes.data(), (unsigned)bytes.size());
    test_close(fds[1]);
    int saved = test_dup(0);
    test_dup2(fds[0], 0);
    test_close(fds[0]);
    test_sync_std_handle(0);
    clearerr(stdin);
    body();
    test_dup2(saved, 0);
    test_close(saved);
    test_sync_std_handle(0);
    clearerr(stdin);
}
