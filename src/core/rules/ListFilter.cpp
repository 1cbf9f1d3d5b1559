#include "core/rules/ListFilter.h"

#include "core/store/RowTable.h"

#include <algorithm>
#include <numeric>

namespace {

// Separates the texts of one row, so that a typed text never matches across two of them.
constexpr char Separator = '\x1f';

// RowTable columns the filter reads: the name, the phones, the e-mail and the MSN address.
constexpr int Name = RowTable::NameColumn;
constexpr int Phones[] = {3, 4, 5, 6}; // 移动电话 工作电话 家庭电话 传真号码
constexpr int Addresses[] = {13, 12};  // email, msn

void appendLower(std::string& out, std::string_view text) {
    // ASCII letters fold; every other byte (Chinese in UTF-8) stays as it is.
    for (char c : text)
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Blanks, "-", "(", ")" and "+" left out: how phone numbers and syllables are written varies.
void appendSqueezed(std::string& out, std::string_view text) {
    for (char c : text) {
        if (c == ' ' || c == '-' || c == '(' || c == ')' || c == '+' || c == '.')
            continue;
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
}

// Each value of a '\n'-separated list as a text of its own.
template <typename Append>
void appendEach(std::string& out, std::string_view list, Append append) {
    while (!list.empty()) {
        const size_t end = std::min(list.find('\n'), list.size());
        out += Separator;
        append(out, list.substr(0, end));
        list.remove_prefix(std::min(end + 1, list.size()));
    }
}

// The number without the country code when the typed text starts with +86 or 0086 ("+86 138..."
// finds 138...); empty otherwise.
std::string_view national(std::string_view needle, std::string_view squeezed) {
    if (needle.starts_with("+86") && squeezed.starts_with("86"))
        return squeezed.substr(2);
    if (needle.starts_with("0086") && squeezed.starts_with("0086"))
        return squeezed.substr(4);
    return {};
}

} // namespace

void ListFilter::clear() {
    texts_.clear();
    matched_.clear();
    all_.clear();
    lastNeedle_.clear();
    lastValid_ = false;
    scanned_ = 0;
}

void ListFilter::prepare(const RowTable& rows, const FilterKeys& pinyin, const FilterValueKeys& values) {
    clear();
    const int count = rows.fillRowCount();
    texts_.reserve(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row) {
        std::string text;
        appendLower(text, rows.fillText(row, Name));
        for (int column : Addresses) {
            text += Separator;
            appendLower(text, rows.fillText(row, column));
        }
        const std::string key(rows.fillText(row, RowTable::KeyColumn));
        // Pinyin keys are blank-separated lists of words: each word a text of its own.
        const auto keys = pinyin.find(key);
        if (keys != pinyin.end()) {
            text += Separator;
            for (char c : keys->second)
                text += c == ' ' ? Separator : c;
        }
        for (int column : Phones) {
            text += Separator;
            appendSqueezed(text, rows.fillText(row, column));
        }
        if (const auto typed = values.find(key); typed != values.end()) {
            appendEach(text, typed->second.texts, appendLower);
            appendEach(text, typed->second.numbers, appendSqueezed);
        }
        texts_.push_back(std::move(text));
    }
    all_.resize(texts_.size());
    std::iota(all_.begin(), all_.end(), 0);
}

const std::vector<int>& ListFilter::match(const QString& typed) {
    const QByteArray plain = typed.trimmed().toUtf8();
    std::string needle;
    appendLower(needle, std::string_view(plain.constData(), static_cast<size_t>(plain.size())));
    std::string squeezed;
    appendSqueezed(squeezed, needle);
    if (needle.empty() || squeezed.empty()) {
        scanned_ = 0;
        lastValid_ = false;
        return all_;
    }
    const std::string_view withoutCode = national(needle, squeezed);
    // A longer text can only keep fewer rows: look at the last matches alone. Not so once a country
    // code is left out: "+861" finds numbers that "+86" did not.
    const bool narrowing = lastValid_ && needle.starts_with(lastNeedle_) && withoutCode.empty();
    std::vector<int> candidates;
    if (narrowing)
        candidates.swap(matched_);
    const std::vector<int>& from = narrowing ? candidates : all_;
    std::vector<int> kept;
    for (int row : from) {
        const std::string& text = texts_[static_cast<size_t>(row)];
        if (text.find(needle) != std::string::npos || (squeezed != needle && text.find(squeezed) != std::string::npos) ||
            (!withoutCode.empty() && text.find(withoutCode) != std::string::npos))
            kept.push_back(row);
    }
    scanned_ = static_cast<int>(from.size());
    matched_.swap(kept);
    lastNeedle_ = needle;
    lastValid_ = true;
    return matched_;
}
