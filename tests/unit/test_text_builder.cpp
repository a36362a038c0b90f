// TextBuilder: growth, the NUL invariant, decimal appends and removal.
#include <gtest/gtest.h>
#include <string.h>
#include <string>

#include "recorder/text_builder.h"

static std::string contents(const TextBuilder &b) { return std::string(b.data, (size_t)b.length); }

static void expect_terminated(const TextBuilder &b) {
    ASSERT_NE(b.data, nullptr);
    EXPECT_EQ(b.data[b.length], 0);
}

TEST(TextBuilder, CreateClearAndReuse) {
    TextBuilder b = builder_create(200);
    ASSERT_NE(b.data, nullptr);
    EXPECT_EQ(b.length, 0);
    EXPECT_EQ(b.capacity, 200);
    EXPECT_EQ(b.data[0], 0);

    builder_append_text(&b, "something");
    builder_clear(&b);
    EXPECT_EQ(b.length, 0);
    EXPECT_EQ(b.data[0], 0);
    char record[38];
    for (int i = 0; i < 38; i++) record[i] = (char)(i * 7); // raw bytes, zeros included
    builder_append(&b, 38, record);
    EXPECT_EQ(b.length, 38);
    EXPECT_EQ(b.capacity, 200);
    EXPECT_EQ(memcmp(b.data, record, 38), 0);
    expect_terminated(b);
    os_free(b.data);
}

TEST(TextBuilder, GrowsByDoublingAndKeepsContent) {
    TextBuilder b = builder_create(2);
    builder_append(&b, 3, "abc");
    EXPECT_EQ(b.capacity, 4);
    EXPECT_EQ(contents(b), "abc");
    expect_terminated(b);

    builder_append(&b, 0, "x"); // nothing, not even the terminator moves
    builder_append(&b, -1, "x");
    EXPECT_EQ(contents(b), "abc");

    TextBuilder path = builder_create(256);
    std::string text(600, 'p');
    builder_append_text(&path, text.c_str());
    EXPECT_EQ(path.capacity, 1024);
    EXPECT_EQ(contents(path), text);
    expect_terminated(path);
    os_free(b.data);
    os_free(path.data);
}

TEST(TextBuilder, GrowthRuleSwitchesToEightMebibyteSteps) {
    const i64 mib8 = 8388608;
    EXPECT_EQ(builder_grown_capacity(256, 600), 1024);
    EXPECT_EQ(builder_grown_capacity(mib8, mib8 + 1), 2 * mib8);
    EXPECT_EQ(builder_grown_capacity(12 * 1048576, 21 * 1048576), 28 * 1048576);
    EXPECT_EQ(builder_grown_capacity(6 * 1048576, 9 * 1048576), 12 * 1048576);
    EXPECT_EQ(builder_grown_capacity(0, 3), 4); // from a failed creation

    // The same rule on a real buffer past 8 MiB.
    TextBuilder big = builder_create(mib8);
    ASSERT_NE(big.data, nullptr);
    std::string chunk(1 << 20, 'z');
    for (int i = 0; i < 8; i++) builder_append(&big, (i64)chunk.size(), chunk.data());
    EXPECT_EQ(big.capacity, mib8);
    builder_append(&big, 1, "!");
    EXPECT_EQ(big.capacity, 2 * mib8);
    EXPECT_EQ(big.length, mib8 + 1);
    EXPECT_EQ(big.data[mib8 - 1], 'z');
    EXPECT_EQ(big.data[mib8], '!');
    expect_terminated(big);
    os_free(big.data);
}

TEST(TextBuilder, FailedCreationStaysUsable) {
    TextBuilder b = builder_create(-5);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.capacity, 0);
    EXPECT_EQ(b.length, 0);
    builder_clear(&b); // must not touch a null buffer
    builder_append(&b, 3, "xyz");
    EXPECT_EQ(contents(b), "xyz");
    EXPECT_GE(b.capacity, 3);
    expect_terminated(b);
    os_free(b.data);
}

TEST(TextBuilder, FailedGrowthKeepsTheOldBuffer) {
    TextBuilder b = builder_create(8);
    builder_append_text(&b, "kept");
    char *before = b.data;
    // More than the heap's 32-bit sizes can hold: growth fails, and the
    // bytes (never read) are dropped rather than written past the buffer.
    builder_append(&b, (i64)1 << 33, "x");
    builder_append(&b, (i64)UINT32_MAX - 2, "x");
    EXPECT_EQ(b.data, before);
    EXPECT_EQ(b.capacity, 8);
    EXPECT_EQ(contents(b), "kept");
    builder_append_text(&b, "!");
    EXPECT_EQ(contents(b), "kept!");
    os_free(b.data);
}

TEST(TextBuilder, DecimalAppends) {
    TextBuilder b = builder_create(4);
    builder_append_int(&b, -42);
    builder_append_text(&b, "|");
    builder_append_int(&b, 0);
    builder_append_text(&b, "|");
    builder_append_int(&b, 1234567890123456789LL);
    builder_append_text(&b, "|");
    builder_append_int(&b, INT64_MIN);
    EXPECT_EQ(contents(b), "-42|0|1234567890123456789|-9223372036854775808");

    builder_clear(&b);
    builder_append_int2(&b, 5);
    builder_append_int2(&b, 0);
    builder_append_int2(&b, 12);
    builder_append_int2(&b, -3);
    builder_append_int2(&b, 9);
    builder_append_int2(&b, 10);
    EXPECT_EQ(contents(b), "050012-30910");
    expect_terminated(b);
    os_free(b.data);
}

TEST(TextBuilder, RemoveShiftsAndIgnoresOutOfRange) {
    TextBuilder b = builder_create(8);
    builder_append_text(&b, "xyz");
    builder_remove(&b, 3);
    builder_remove(&b, -1);
    EXPECT_EQ(contents(b), "xyz");
    builder_remove(&b, 0);
    EXPECT_EQ(contents(b), "yz");
    builder_remove(&b, 1);
    EXPECT_EQ(contents(b), "y");
    expect_terminated(b);
    builder_remove(&b, 0);
    EXPECT_EQ(b.length, 0);
    EXPECT_EQ(b.data[0], 0);
    builder_remove(&b, 0);
    EXPECT_EQ(b.length, 0);
    os_free(b.data);
}
