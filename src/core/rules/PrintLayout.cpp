#include "core/rules/PrintLayout.h"

#include "core/store/FieldCatalogue.h"
#include "core/store/RowTable.h"

namespace printlayout {

namespace {
// Where a field sits in a row of the list: after the key, in the catalogue's listed order.
int rowColumnOf(catalogue::Field field) {
    const auto listed = catalogue::listed();
    for (size_t i = 0; i < listed.size(); ++i) {
        if (listed[i]->field == field)
            return static_cast<int>(i) + 1;
    }
    return -1;
}
} // namespace

std::vector<Entry> entriesOf(const RowTable& rows) {
    using catalogue::Field;
    const int mobile = rowColumnOf(Field::Mobile);
    const Field others[] = {Field::WorkPhone, Field::HomePhone, Field::Fax};
    std::vector<Entry> entries;
    entries.reserve(static_cast<size_t>(rows.rowCount()));
    for (int row = 0; row < rows.rowCount(); ++row) {
        Entry entry;
        entry.key = rows.key(row);
        entry.name = rows.qtext(row, RowTable::NameColumn);
        if (mobile > 0 && !rows.isNull(row, mobile))
            entry.mobile = rows.qtext(row, mobile).trimmed();
        for (const Field field : others) {
            const int column = rowColumnOf(field);
            if (column <= 0 || rows.isNull(row, column))
                continue;
            const QString number = rows.qtext(row, column).trimmed();
            if (!number.isEmpty())
                entry.otherNumbers << QString::fromUtf16(catalogue::info(field).label) + u' ' + number;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<Page> paginate(const std::vector<double>& heights, double bodyHeight) {
    std::vector<Page> pages;
    Page page;
    double used = 0;
    for (size_t i = 0; i < heights.size(); ++i) {
        if (page.count > 0 && used + heights[i] > bodyHeight) {
            pages.push_back(page);
            page = Page{static_cast<int>(i), 0};
            used = 0;
        }
        used += heights[i];
        ++page.count;
    }
    if (page.count > 0 || pages.empty())
        pages.push_back(page);
    return pages;
}

std::vector<Page> cardPages(int entries) {
    std::vector<Page> pages;
    for (int first = 0; first < entries; first += CardsPerPage)
        pages.push_back(Page{first, std::min(CardsPerPage, entries - first)});
    if (pages.empty())
        pages.push_back(Page{});
    return pages;
}

QString pageNumberText(int page, int pages) {
    return QStringLiteral("第 %1 页，共 %2 页").arg(page).arg(pages);
}

} // namespace printlayout
