#pragma once
// The pinyin of every contact as the filter line under the list looks it up: by contact key, the
// full pinyin, the initials and the other initials of a polyphonic name, separated by blanks.
#include <string>
#include <string_view>
#include <unordered_map>

namespace SQLite {
class Database;
}

using FilterKeys = std::unordered_map<std::string, std::string>;

// Reads the pinyin table once (one statement). Throws StoreError.
FilterKeys loadFilterKeys(SQLite::Database& db);
