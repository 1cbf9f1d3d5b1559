#pragma once
// What a printed phone list or a sheet of cards holds, and how it falls into pages: the people the
// list shows, in the list's order (the filter line's narrowing and the user's sort included), each
// with the name, the mobile number and the other numbers. The pages are counted from the heights
// the painter measured, so the rule runs and is tested without a printer or a font.
#include <QString>
#include <QStringList>
#include <vector>

class RowTable;

namespace printlayout {

enum class Style {
    PhoneList, // a table: 姓名, 移动电话, the other numbers
    Cards,     // a card per person, with the picture, two across and four down
};

struct Entry {
    QString key;
    QString name;
    QString mobile;
    QStringList otherNumbers; // "工作电话 010-1234", the label first; only the numbers there are
};

// The rows the list shows now, in its order.
std::vector<Entry> entriesOf(const RowTable& rows);

// The entries on one page: [first, first + count).
struct Page {
    int first = 0;
    int count = 0;
};

// The pages for entries of these heights on pages whose body is `bodyHeight` high (the page less
// its title, column headers and page number). An entry never splits; one taller than a whole body
// gets a page of its own. No entries: one empty page, which says so.
std::vector<Page> paginate(const std::vector<double>& heights, double bodyHeight);

// Cards: a fixed grid.
inline constexpr int CardColumns = 2;
inline constexpr int CardRows = 4;
inline constexpr int CardsPerPage = CardColumns * CardRows;
std::vector<Page> cardPages(int entries);

// The footer of page `page` (from 1) of `pages`: "第 1 页，共 3 页".
QString pageNumberText(int page, int pages);

} // namespace printlayout
