#pragma once
// The pinyin of every contact as the filter line under the list looks it up: by contact key, the
// full pinyin, the initials and the other initials of a polyphonic name, separated by blanks
// (PinyinKeys::loadFilterKeys reads them).
#include <string>
#include <unordered_map>

using FilterKeys = std::unordered_map<std::string, std::string>;

// A person's typed values the filter line also finds them by, by contact key: their other numbers,
// and their other texts (e-mail addresses, 微信, 单位, 职务, messenger IDs); the values of each kind
// separated by '\n' (TypedValues::loadFilterValues reads them).
struct FilterValues {
    std::string numbers;
    std::string texts;
};
using FilterValueKeys = std::unordered_map<std::string, FilterValues>;
