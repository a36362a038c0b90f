// Test helpers: the library's slices to and from strings.
#pragma once

#include <string.h>
#include <string>

#include "os/os.h"

// A string's bytes, for as long as the string lives.
static inline StrSlice S(const std::string &text) { return StrSlice{(i64)text.size(), (char *)text.c_str()}; }
// A literal's bytes, for good.
static inline StrSlice text(const char *s) { return StrSlice{(i64)strlen(s), (char *)s}; }
// A slice's bytes as a string; a null slice is empty.
static inline std::string str(StrSlice slice) { return std::string(slice.data ? slice.data : "", (size_t)slice.length); }
