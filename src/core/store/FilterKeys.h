#pragma once
// The pinyin of every contact as the filter line under the list looks it up: by contact key, the
// full pinyin, the initials and the other initials of a polyphonic name, separated by blanks
// (PinyinKeys::loadFilterKeys reads them).
#include <string>
#include <unordered_map>

using FilterKeys = std::unordered_map<std::string, std::string>;
