// The encoder room: every ffmpeg run the recorder drives (the recording, a
// share copy) is one EncoderJob, started, pumped, stopped and judged here.
// Command lines come from encoder_command.h.
#pragma once

#include "../os/os.h"
#include "text_builder.h"

// The encoder's name; its file beside the program adds ".exe" on Windows.
#define ENCODER_NAME "ffmpeg"

// The program as command lines name it: the quoted path beside the
// executable when start-up found it there, else the bare name.
const char *encoder_program(void);
// At start-up: looks for the encoder beside the program and remembers how
// to name it; says on the panel when it is nowhere to be found.
void encoder_locate(void);
// True when the encoder is beside the program or on the search path.
bool encoder_findable(void);
// The encoder's file name beside the program.
const char *encoder_file_name(void);
// The panel's words when the encoder is nowhere to be found: where it was
// looked for and what to do.
const char *encoder_missing_text(void);

enum { ENCODER_TAIL_SIZE = 4096, ENCODER_LINE_SIZE = 256 };

// How a job ended.
enum EncoderEnd : u8 {
    ENCODER_FINISHED = 0,     // exited by itself with code 0
    ENCODER_FAILED = 1,       // exited with another code: exit_code, and its last line
    ENCODER_CODE_UNKNOWN = 2, // exited, but its code could not be read
    ENCODER_KILLED = 3,       // did not end within the wait and was killed
};

struct EncoderJob {
    OsProcess process;
    bool started;        // the process record is valid until encoder_close
    bool stop_requested; // "q\n" was written
    TextBuilder output;  // the file it writes
    i64 started_ms;
    // The output time it reported last ("time=HH:MM:SS.ss" in its status
    // line, or -progress's "out_time_us="); -1 before the first.
    i64 progress_us;
    // The frames it reported last ("frame=" in either); -1 before the first.
    i64 frames;
    // Its last 4 KiB of output, so a failing encoder can say why.
    char tail[ENCODER_TAIL_SIZE];
    i32 tail_length;
    // The output line being read, for the progress.
    char line[ENCODER_LINE_SIZE];
    i32 line_length;
    bool exit_known;
    i32 exit_code;
};

// The output time one line of the encoder's output reports (its status
// line's "time=HH:MM:SS.ss", or -progress's "out_time_us="), in
// microseconds; -1 when it reports none. Never overflows, whatever the digits.
i64 encoder_line_progress_us(const char *text, i64 length);

// Prints the command as "[[[command]]]" and starts it (bound: it cannot
// outlive the recorder). False when it could not start.
bool encoder_start(EncoderJob *job, StrSlice command, const char *output_path, bool bound);
// Reads what is waiting, keeping the tail and the progress: the bytes read,
// 0 for none, -1 when the pipe failed.
i32 encoder_pump(EncoderJob *job);
bool encoder_running(EncoderJob *job);
// Asks it to finish its file with "q\n", once.
void encoder_request_stop(EncoderJob *job);
// Writes a command to its standard input, which it reads between frames;
// false when the pipe did not take it, or after the stop was asked.
bool encoder_send(EncoderJob *job, const char *text);
// Waits for the job to end, asking it first when `ask`: as long as it makes
// progress (prints, or its file grows) with no more than silence_ms without
// any, and no longer than total_ms in all; then kills it (ENCODER_KILLED).
// Otherwise as encoder_collect.
EncoderEnd encoder_wait(EncoderJob *job, bool ask, i32 silence_ms, i32 total_ms);
// After it ended by itself: reads the rest of its output and its exit code.
EncoderEnd encoder_collect(EncoderJob *job);
// Its last line that says something: not blank, not a progress line, not
// "Conversion failed!", and without a leading "[muxer @ 0x...] ".
StrSlice encoder_last_line(const EncoderJob *job);
// Kills it if it still runs, closes its pipes, forgets it; ready for the
// next start.
void encoder_close(EncoderJob *job);
// Deletes a file a job wrote, trying again for a moment: Windows lets a
// process's files go a little after it ended. 0 deleted (or gone), 1 failed.
i32 encoder_delete_file(StrSlice path);
// From the crash hook: asks it to finish and gives it up to wait_ms. Only a
// pipe write, status tests and sleeps: safe in a signal handler.
void encoder_crash_stop(EncoderJob *job, i32 wait_ms);
