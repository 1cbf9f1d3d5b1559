#include "core/text/Columns.h"

#include <QList>
#include <algorithm>
#include <unicode/uchar.h>

int displayWidth(QStringView text) {
    int width = 0;
    for (const uint code : text.toUcs4()) {
        const auto c = static_cast<UChar32>(code);
        const auto category = static_cast<UCharCategory>(u_charType(c));
        if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK || category == U_FORMAT_CHAR ||
            category == U_CONTROL_CHAR)
            continue;
        const auto eastAsian = static_cast<UEastAsianWidth>(u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH));
        width += eastAsian == U_EA_WIDE || eastAsian == U_EA_FULLWIDTH ? 2 : 1;
    }
    return width;
}

QString alignedColumns(const std::vector<std::pair<QString, QString>>& rows) {
    int column = 0;
    for (const auto& [left, right] : rows)
        column = std::max(column, displayWidth(left));
    column += 2;
    QString text;
    for (const auto& [left, right] : rows)
        text += left + QString(column - displayWidth(left), u' ') + right + u'\n';
    return text;
}
