#pragma once
// What the fuzz targets share: the input as bytes, cut into pieces by its own bytes, and a
// property check that stops the run with a message when it does not hold.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::fuzz {

inline void check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// The input cut at each byte 0xFF into pieces (replies, chunks): a separator the fuzzer
// finds at once, and one that the controller's text never needs.
inline std::vector<std::string> pieces(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> out(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF)
            out.emplace_back();
        else
            out.back().push_back(static_cast<char>(data[i]));
    }
    return out;
}

} // namespace vantor::fuzz
