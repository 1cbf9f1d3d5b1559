#pragma once
// Han characters whose readings begin with more than one letter (长 chang/zhang, 重 chong/zhong),
// from Unihan's readings. The table is generated at build time (PolyphoneTableGen.cpp).
#include <cstddef>
#include <cstdint>

namespace pinyin {

namespace detail {
struct PolyphoneEntry {
    uint32_t codepoint;
    uint32_t letters; // bit n set: some reading starts with 'a' + n
};
extern const PolyphoneEntry polyphoneTable[]; // sorted by codepoint
extern const std::size_t polyphoneTableSize;
} // namespace detail

// The first letters of every reading of a polyphonic character, as a mask (bit 0 = 'a'); 0 for a
// character with one initial letter or none known.
uint32_t polyphoneLetters(char32_t codepoint);

} // namespace pinyin
