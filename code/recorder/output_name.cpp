#include "output_name.h"

#include <string.h>

#include "app.h"
#include "app_files.h"

static bool has_tag(StrSlice text, const char *tag) {
    i64 length = (i64)strlen(tag);
    for (i64 i = 0; i + length <= text.length; i++)
        if (memcmp(text.data + i, tag, (size_t)length) == 0) return true;
    return false;
}

static void append_tag(TextBuilder *out, const char *name, i64 length, const OsDateTime *t, i32 attempt) {
    struct Tag {
        const char *name;
        i64 value;
        bool two_digits;
    };
    const Tag tags[] = {
        {"year", t->year, false},       {"month", t->month, true},   {"month1", t->month, false},
        {"day", t->day, true},          {"day1", t->day, false},     {"hour", t->hour, true},
        {"hour1", t->hour, false},      {"minute", t->minute, true}, {"minute1", t->minute, false},
        {"second", t->second, true},    {"second1", t->second, false},
        {"incremental", attempt, false}, {"memory_incremental", app.memory_counter, false},
    };
    for (const Tag &tag : tags) {
        if ((i64)strlen(tag.name) != length || memcmp(tag.name, name, (size_t)length) != 0) continue;
        if (tag.two_digits) builder_append_int2(out, tag.value);
        else builder_append_int(out, tag.value);
        return;
    }
}

void output_name_expand(TextBuilder *out, StrSlice name_template, const OsDateTime *time, i32 attempt) {
    const char *bytes = name_template.data;
    i64 length = name_template.length, literal = 0, i = 0;
    while (i < length) {
        char c = bytes[i];
        if (c != '<' && c != '>') {
            i++;
            continue;
        }
        builder_append(out, i - literal, bytes + literal);
        if (c == '<') {
            i64 start = i + 1, end = start;
            while (end < length && bytes[end] != '>') end++;
            append_tag(out, bytes + start, end - start, time, attempt);
            i = end + 1;
        } else {
            i++;
        }
        literal = i;
    }
    if (literal < length) builder_append(out, length - literal, bytes + literal);
}

//~ A recording's files

static const char finished_suffix[] = ".mp4";
static const char *const file_suffixes[] = {finished_suffix, ".recording.mp4", ".finishing.mp4", ".segments.txt"};

static bool ends_with(const char *text, i64 length, const char *suffix) {
    i64 n = (i64)strlen(suffix);
    return length >= n && memcmp(text + length - n, suffix, (size_t)n) == 0;
}

void recording_stem(TextBuilder *out, const char *finished) {
    i64 length = (i64)strlen(finished);
    if (ends_with(finished, length, finished_suffix)) length -= (i64)strlen(finished_suffix);
    builder_clear(out);
    builder_append(out, length, finished);
}

void append_name_number(TextBuilder *out, i32 number) {
    if (number <= 1) return;
    builder_append_text(out, " (");
    builder_append_int(out, number);
    builder_append_text(out, ")");
}

void recording_file_path(TextBuilder *out, const char *finished, RecordingFile file) {
    recording_stem(out, finished);
    builder_append_text(out, file_suffixes[file]);
}

// After the first, segments are named "<stem>.recording-<n>.mp4".
static const char segment_infix[] = ".recording-";
enum { SEGMENT_DIGITS_MAX = 6 };

void recording_segment_path(TextBuilder *out, const char *finished, i32 segment) {
    if (segment <= 1) return recording_file_path(out, finished, RECORDING_WORKING);
    recording_stem(out, finished);
    builder_append_text(out, segment_infix);
    builder_append_int(out, segment);
    builder_append_text(out, finished_suffix);
}

// The segment number of "-<n>.mp4" at the end of the text (n >= 2, no
// leading zero), and where that part starts; 0 when there is none.
static i32 segment_number(const char *text, i64 length, i64 *start) {
    i64 digits_end = length - (i64)strlen(finished_suffix), digits = digits_end;
    if (digits_end < 1 || !ends_with(text, length, finished_suffix)) return 0;
    while (digits > 0 && text[digits - 1] >= '0' && text[digits - 1] <= '9') digits--;
    if (digits_end - digits < 1 || digits_end - digits > SEGMENT_DIGITS_MAX || text[digits] == '0') return 0;
    i64 infix = (i64)strlen(segment_infix);
    if (digits < infix || memcmp(text + digits - infix, segment_infix, (size_t)infix) != 0) return 0;
    i32 n = 0;
    for (i64 i = digits; i < digits_end; i++) n = n * 10 + (text[i] - '0');
    *start = digits - infix;
    return n >= 2 ? n : 0;
}

bool recording_finished_path(TextBuilder *out, const char *working, i32 *segment) {
    const char *suffix = file_suffixes[RECORDING_WORKING];
    i64 length = (i64)strlen(working), stem = length - (i64)strlen(suffix);
    i32 number = segment_number(working, length, &stem);
    if (number == 0 && !ends_with(working, length, suffix)) return false;
    // A stem that has a name of its own.
    if (stem < 1 || working[stem - 1] == '/' || working[stem - 1] == '\\') return false;
    builder_clear(out);
    builder_append(out, stem, working);
    builder_append_text(out, finished_suffix);
    if (segment) *segment = number ? number : 1;
    return true;
}

bool recording_names_free(const char *finished) {
    TextBuilder path = builder_create(256);
    bool free = true;
    for (u8 file = RECORDING_FINISHED; file <= RECORDING_SEGMENT_LIST && free; file++) {
        recording_file_path(&path, finished, (RecordingFile)file);
        free = path.data && !os_path_exists(builder_slice(&path));
    }
    os_free(path.data);
    return free;
}

//~ Choosing the name

static void path_begin(TextBuilder *path, StrSlice folder) {
    builder_clear(path);
    builder_append(path, folder.length, folder.data);
    builder_append_text(path, "/");
}

// Any entry counts, a folder or an unreadable file too: the encoder's -y
// would otherwise replace it. A recording's working and finishing files
// count too: a leftover waiting to be finished keeps its name.
static bool name_free(const TextBuilder *path) { return path->data && recording_names_free(path->data); }

// A name the user sees in the folder: not empty, and not only dots, which
// would be no name at all or a hidden file.
static bool name_visible(const TextBuilder *path, i64 folder_length) {
    for (i64 i = folder_length + 1; i < path->length - 4; i++)
        if (path->data[i] != '.') return true;
    return false;
}

static bool same_text(const TextBuilder *a, const TextBuilder *b) {
    return a->length == b->length && (a->length == 0 || memcmp(a->data, b->data, (size_t)a->length) == 0);
}

// The counter only grows, and never past where it would overflow.
static void counter_advance(void) {
    if (app.memory_counter < INT32_MAX) app.memory_counter++;
}

static bool choose_in(TextBuilder *path, const OsDateTime *time, StrSlice folder) {
    StrSlice name_template = builder_slice(&app.output_name_template);
    if (name_template.length > 0) {
        bool incremental = has_tag(name_template, "<incremental>");
        bool memory = has_tag(name_template, "<memory_incremental>");
        // A template whose tags expand to nothing ("<<incremental>") gives the
        // same name on every attempt: that, or too many attempts, falls back
        // to the default naming instead of looping for ever.
        TextBuilder previous = builder_create(256);
        for (i32 attempt = 0; attempt < OUTPUT_NAME_ATTEMPTS; attempt++) {
            path_begin(path, folder);
            output_name_expand(path, name_template, time, attempt);
            builder_append_text(path, ".mp4");
            if (!name_visible(path, folder.length)) break;
            if (name_free(path)) {
                os_free(previous.data);
                return true;
            }
            if (!incremental && !memory) break;
            if (attempt > 0 && same_text(path, &previous)) break;
            builder_clear(&previous);
            builder_append(&previous, path->length, path->data);
            if (memory) counter_advance();
        }
        os_free(previous.data);
    }
    for (i32 attempt = 0; attempt < OUTPUT_NAME_ATTEMPTS; attempt++) {
        path_begin(path, folder);
        builder_append_int(path, time->year);
        builder_append(path, 1, "-");
        builder_append_int2(path, time->month);
        builder_append(path, 1, "-");
        builder_append_int2(path, time->day);
        builder_append(path, 1, " ");
        builder_append_int(path, app.memory_counter);
        builder_append_text(path, ".mp4");
        if (name_free(path)) return true;
        // A counter at its top (an edited or corrupt state file) starts again
        // from 0 rather than give a name that is taken.
        if (app.memory_counter == INT32_MAX) app.memory_counter = 0;
        else counter_advance();
    }
    return false;
}

bool output_path_choose(TextBuilder *path, const OsDateTime *time) {
    StrSlice folder = app_output_folder();
    bool chosen = choose_in(path, time, folder);
    os_free_string(&folder);
    return chosen;
}
