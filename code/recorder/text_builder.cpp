#include "text_builder.h"

#include <string.h>

static const i64 builder_step = 8388608; // 8 MiB

TextBuilder builder_create(i64 capacity) {
    TextBuilder builder = {0, nullptr, 0};
    if (capacity < 0 || capacity >= (i64)UINT32_MAX) return builder;
    builder.data = (char *)os_alloc((u32)(capacity + 1));
    if (!builder.data) return builder;
    builder.data[0] = 0;
    builder.capacity = capacity;
    return builder;
}

void builder_clear(TextBuilder *builder) {
    builder->length = 0;
    if (builder->data) builder->data[0] = 0;
}

i64 builder_grown_capacity(i64 capacity, i64 needed) {
    // A failed creation leaves capacity 0, which doubling alone never grows.
    if (capacity < 1) capacity = 1;
    while (capacity < needed) capacity += capacity < builder_step ? capacity : builder_step;
    return capacity;
}

bool builder_reserve(TextBuilder *builder, i64 count) {
    i64 needed = builder->length + count;
    if (needed <= builder->capacity && builder->data) return true;
    // The heap takes 32-bit sizes; a larger request must fail, not wrap.
    if (count >= (i64)UINT32_MAX || needed >= (i64)UINT32_MAX) return false;
    i64 capacity = builder_grown_capacity(builder->capacity, needed);
    if (capacity >= (i64)UINT32_MAX) capacity = (i64)UINT32_MAX - 1;
    char *data = builder->data ? (char *)os_realloc(builder->data, (u32)(capacity + 1))
                               : (char *)os_alloc((u32)(capacity + 1));
    if (!data) return false;
    builder->data = data;
    builder->capacity = capacity;
    return true;
}

void builder_append(TextBuilder *builder, i64 count, const void *bytes) {
    if (count < 1 || !builder_reserve(builder, count)) return;
    memcpy(builder->data + builder->length, bytes, (size_t)count);
    builder->length += count;
    builder->data[builder->length] = 0;
}

void builder_append_text(TextBuilder *builder, const char *text) {
    builder_append(builder, (i64)strlen(text), text);
}

void builder_append_int(TextBuilder *builder, i64 value) {
    char digits[24];
    char *end = digits + sizeof digits;
    char *at = end;
    // Work in unsigned so the most negative value converts too.
    u64 magnitude = value < 0 ? 0 - (u64)value : (u64)value;
    do {
        *--at = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) *--at = '-';
    builder_append(builder, end - at, at);
}

void builder_append_int2(TextBuilder *builder, i64 value) {
    if (value >= 0 && value <= 9) builder_append(builder, 1, "0");
    builder_append_int(builder, value);
}

void builder_remove(TextBuilder *builder, i64 index) {
    if (index < 0 || index >= builder->length) return;
    memmove(builder->data + index, builder->data + index + 1, (size_t)(builder->length - index - 1));
    builder->length -= 1;
    builder->data[builder->length] = 0;
}
