// The known output of `child pattern N`: the first N bytes of "0,1,2,3,...",
// which changes with every position, so lost, doubled or reordered bytes show.
#pragma once

#include <string>

inline std::string child_pattern(size_t size) {
    std::string text;
    for (size_t i = 0; text.size() < size; ++i) text += std::to_string(i) + ",";
    text.resize(size);
    return text;
}
