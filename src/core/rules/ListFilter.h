#pragma once
// The filter line under the list: which rows of the list's fill match a typed text, by name, pinyin
// initials, full pinyin, any of the person's numbers (by its digits alone too, with or without +86),
// e-mail addresses, 微信, 单位, 职务 or messenger IDs. Each row's texts are prepared once per
// fill; a text that extends the last one looks only at the rows the last one kept, so typing a
// name letter by letter at 100,000 contacts scans the whole fill once.
#include "core/store/FilterKeys.h"

#include <QString>
#include <string>
#include <vector>

class RowTable;

class ListFilter {
public:
    // The rows of the fill (RowTable::fillRowCount(), in its order), the pinyin of their names and
    // their typed values. Without them (a table that cannot be read) the columns still match.
    void prepare(const RowTable& rows, const FilterKeys& pinyin, const FilterValueKeys& values = {});
    void clear();

    // The fill's rows that match `typed`, in the fill's order. Case is folded; a text of blanks alone
    // matches every row. Blanks, "-" and brackets inside the typed text are ignored for the pinyin
    // and the phone numbers ("zhang san", "138-0013"); a number typed with +86 or 0086 also finds the
    // number stored without it.
    const std::vector<int>& match(const QString& typed);

    int rowCount() const { return static_cast<int>(texts_.size()); }
    // How many rows the last match() looked at.
    int rowsScanned() const { return scanned_; }

private:
    std::vector<std::string> texts_; // per row: name, e-mail, then pinyin and phones squeezed
    std::vector<int> matched_;
    std::vector<int> all_;
    std::string lastNeedle_;
    bool lastValid_ = false;
    int scanned_ = 0;
};
