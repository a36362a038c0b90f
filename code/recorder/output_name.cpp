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

static void path_begin(TextBuilder *path, StrSlice folder) {
    builder_clear(path);
    builder_append(path, folder.length, folder.data);
    builder_append_text(path, "/");
}

static bool path_exists(const TextBuilder *path) { return os_file_exists(builder_slice(path)); }

static void choose_in(TextBuilder *path, const OsDateTime *time, StrSlice folder) {
    StrSlice name_template = builder_slice(&app.output_name_template);
    if (name_template.length > 0) {
        bool incremental = has_tag(name_template, "<incremental>");
        bool memory = has_tag(name_template, "<memory_incremental>");
        for (i32 attempt = 0;; ) {
            path_begin(path, folder);
            output_name_expand(path, name_template, time, attempt);
            builder_append_text(path, ".mp4");
            if (!path_exists(path)) return;
            if (!incremental && !memory) break;
            if (incremental) attempt++;
            if (memory) app.memory_counter++;
        }
    }
    for (;;) {
        path_begin(path, folder);
        builder_append_int(path, time->year);
        builder_append(path, 1, "-");
        builder_append_int2(path, time->month);
        builder_append(path, 1, "-");
        builder_append_int2(path, time->day);
        builder_append(path, 1, " ");
        builder_append_int(path, app.memory_counter);
        builder_append_text(path, ".mp4");
        if (!path_exists(path)) return;
        app.memory_counter++;
    }
}

void output_path_choose(TextBuilder *path, const OsDateTime *time) {
    StrSlice folder = app_output_folder();
    choose_in(path, time, folder);
    os_free_string(&folder);
}
