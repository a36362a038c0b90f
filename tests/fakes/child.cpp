// The child process that the process tests start. Its arguments are actions,
// done in order:
//   args A B ...   print every following argument as "[A]\n" and stop
//   print TEXT     write TEXT to standard output
//   stderr TEXT    write TEXT to standard error
//   pattern N      write N bytes of child_pattern
//   cat            copy standard input to standard output until its end
//   waitq          read lines until "q\n" (or the end of the input)
//   sleep MS       sleep
//   exit CODE      exit with CODE
//   info           print "[exe folder]\n[exe name]\n[desktop folder]\n"
//   touch PATH     create the file PATH holding "ok"
//   crash          set a crash hook printing "[hook KIND TEXT]\n", then
//                  write to an unmapped address
//   raise          set the same hook, then raise an exception no table
//                  names (Windows: code 0xE0424242; Linux: SIGFPE by raise())
//   fatal TEXT     os_fatal(TEXT)
//   cmdline ...    print "[command line]\n" from os_command_line and stop
//   close1 / init / log PATH   close(1) (Linux) / os_init() / os_set_log_file
//   claim NAME     print "[claim RESULT]\n" of os_instance_claim
//   listen         print "[listening]\n", then "[message TEXT]\n" per message
//   linger / orphans   start a copy that sleeps a minute / two bound ones, the
//                  second unbound; print "[linger PID]\n" / "[orphans PID PID]\n"
// Output goes through os_print (a plain write, no newline translation).
#include <chrono>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <thread>
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include "child_pattern.h"
#include "os/os.h"

static void put(const char *text, size_t length) {
    // os_print formats into 1 KiB pieces; %.*s keeps long texts whole.
    while (length > 0) {
        int piece = length > 1000 ? 1000 : (int)length;
        os_print("%.*s", piece, text);
        text += piece;
        length -= (size_t)piece;
    }
}

static void show(StrSlice slice) {
    os_print("[%.*s]\n", (int)slice.length, slice.data ? slice.data : "");
}

static void print_hook(u32 kind, const char *description, u64, u64) {
    os_print("[hook %u %s]\n", kind, description);
}

static StrSlice text_slice(const char *text) { return StrSlice{(i64)strlen(text), (char *)text}; }

// A copy of this program doing these actions; its process id.
static u32 start_self(const char *actions, bool bound, bool unbind = false) {
    std::string command = "\"" + std::string(os_exe_folder().data) + os_exe_name().data + "\" " + actions;
    OsProcess process;
    StrSlice line = text_slice(command.c_str());
    if (bound ? os_process_start_bound(&process, line, false) : os_process_start(&process, line, false)) return 0;
    if (unbind) os_process_unbind(&process);
    return os_process_id(&process);
}

// Read at run time, so the compiler cannot see the fault coming and turn it
// into a trap instruction.
static volatile uintptr_t bad_address = 16;

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const char *action = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : "";
        if (strcmp(action, "args") == 0) {
            for (int j = i + 1; j < argc; ++j) os_print("[%s]\n", argv[j]);
            return 0;
        } else if (strcmp(action, "print") == 0) {
            put(value, strlen(value));
            ++i;
        } else if (strcmp(action, "stderr") == 0) {
            fputs(value, stderr);
            fflush(stderr);
            ++i;
        } else if (strcmp(action, "pattern") == 0) {
            std::string text = child_pattern((size_t)atol(value));
            put(text.data(), text.size());
            ++i;
        } else if (strcmp(action, "cat") == 0) {
            char line[4096];
            while (fgets(line, sizeof line, stdin)) put(line, strlen(line));
        } else if (strcmp(action, "waitq") == 0) {
            char line[256];
            while (fgets(line, sizeof line, stdin) && strcmp(line, "q\n") != 0) {
            }
        } else if (strcmp(action, "sleep") == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(atol(value)));
            ++i;
        } else if (strcmp(action, "exit") == 0) {
            return atoi(value);
        } else if (strcmp(action, "info") == 0) {
            show(os_exe_folder());
            show(os_exe_name());
            show(os_desktop_folder());
        } else if (strcmp(action, "touch") == 0) {
            StrSlice path = {(i64)strlen(value), (char *)value};
            if (os_write_file(path, 2, "ok") != 0) return 3;
            ++i;
        } else if (strcmp(action, "crash") == 0) {
            os_set_crash_handler(print_hook);
            *(volatile int *)bad_address = 1;
        } else if (strcmp(action, "raise") == 0) {
            os_set_crash_handler(print_hook);
#ifdef _WIN32
            RaiseException(0xE0424242u, 0, 0, nullptr);
#else
            raise(SIGFPE);
#endif
        } else if (strcmp(action, "fatal") == 0) {
            os_fatal(value);
        } else if (strcmp(action, "cmdline") == 0) {
            show(os_command_line());
            return 0;
        } else if (strcmp(action, "close1") == 0) {
#ifndef _WIN32
            close(1);
#endif
        } else if (strcmp(action, "init") == 0) {
            os_init();
        } else if (strcmp(action, "log") == 0) {
            os_set_log_file(text_slice(argv[++i]));
        } else if (strcmp(action, "claim") == 0) {
            os_print("[claim %i]\n", os_instance_claim(text_slice(argv[++i])));
        } else if (strcmp(action, "listen") == 0) {
            os_set_event_callback([](OsEvent *event) {
                if (event->kind == OS_EVENT_INSTANCE_MESSAGE) os_print("[message %s]\n", event->message.text);
            });
            os_print("[listening]\n");
            for (;;)
                if (os_wait_for_events(60000)) os_pump_messages();
        } else if (strcmp(action, "linger") == 0) {
            os_print("[linger %u]\n", start_self("sleep 60000", false));
        } else if (strcmp(action, "orphans") == 0) {
            u32 kept = start_self("sleep 20000", true), freed = start_self("sleep 20000", true, true);
            os_print("[orphans %u %u]\n", kept, freed);
        } else {
            os_print("child: unknown action %s\n", action);
            return 2;
        }
    }
    return 0;
}
