#include "gui/list/ListLayout.h"

#include "core/app/Settings.h"
#include "core/app/Twips.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListColumns.h"

#include <QHeaderView>
#include <QMenu>
#include <QTreeView>
#include <algorithm>

namespace listlayout {
namespace {

// The columns the menu lists: every column with a header of its own but the name.
bool hideable(int column) {
    return column > 0 && column < listcolumns::Empty;
}

// A width between a sliver the user can still grab and far more than any screen.
constexpr int NarrowestTwips = 10 * twips::PerPixel;
constexpr int WidestTwips = 4000 * twips::PerPixel;

} // namespace

void restore(QTreeView* LV, ContactListModel* list, const Settings& settings) {
    QHeaderView* header = LV->header();
    const QStringList widths = settings.text(WidthsKey).split(u',', Qt::SkipEmptyParts);
    for (int column = 0; column < listcolumns::Count && column < widths.size(); ++column) {
        bool number = false;
        const int width = widths[column].trimmed().toInt(&number);
        if (number && width >= NarrowestTwips && width <= WidestTwips)
            header->resizeSection(column, std::max(1, twips::toPixels(width)));
    }
    for (const QString& text : settings.text(HiddenKey).split(u',', Qt::SkipEmptyParts)) {
        bool number = false;
        const int column = text.trimmed().toInt(&number);
        if (number && hideable(column))
            header->setSectionHidden(column, true);
    }
    const QStringList sort = settings.text(SortKey).split(u',');
    if (sort.size() == 2) {
        bool columnOk = false, orderOk = false;
        const int column = sort[0].trimmed().toInt(&columnOk);
        const int order = sort[1].trimmed().toInt(&orderOk);
        if (columnOk && orderOk && column >= 0 && column < listcolumns::Empty && (order == 0 || order == 1)) {
            const Qt::SortOrder direction = order == 0 ? Qt::AscendingOrder : Qt::DescendingOrder;
            list->setSort(column, direction);
            header->setSortIndicatorShown(true);
            header->setSortIndicator(column, direction);
        }
    }
}

void save(const QTreeView* LV, const ContactListModel* list, Settings& settings) {
    const QHeaderView* header = LV->header();
    // A hidden column's width is the one it had when it was shown (kept by the header until then),
    // else the one saved before.
    const QStringList before = settings.text(WidthsKey).split(u',');
    QStringList widths, hidden;
    for (int column = 0; column < listcolumns::Count; ++column) {
        if (header->isSectionHidden(column)) {
            if (hideable(column))
                hidden << QString::number(column);
            const QString saved = before.value(column).trimmed();
            widths << (saved.isEmpty() ? QString::number(listcolumns::All[column].widthTwips) : saved);
            continue;
        }
        widths << QString::number(static_cast<int>(twips::fromPixels(header->sectionSize(column))));
    }
    settings.setText(WidthsKey, widths.join(u','));
    settings.setText(HiddenKey, hidden.join(u','));
    settings.setText(SortKey, list->sortColumn() < 0 ? QString()
                                                     : QStringLiteral("%1,%2").arg(list->sortColumn()).arg(
                                                           list->sortOrder() == Qt::AscendingOrder ? 0 : 1));
}

void fillColumnMenu(QMenu& menu, QTreeView* LV) {
    QHeaderView* header = LV->header();
    for (int column = 0; column < listcolumns::Count; ++column) {
        if (listcolumns::header(column).isEmpty())
            continue;
        QAction* entry = menu.addAction(listcolumns::header(column));
        entry->setCheckable(true);
        entry->setChecked(!header->isSectionHidden(column));
        entry->setEnabled(hideable(column));
        entry->setData(column);
        QObject::connect(entry, &QAction::toggled, LV, [LV, header, column](bool shown) {
            header->setSectionHidden(column, !shown);
            // A column shown again that has no width left (hidden since the first start) gets its own.
            if (shown && header->sectionSize(column) < 10)
                header->resizeSection(column, listcolumns::initialWidth(column, *LV));
        });
    }
}

void enableColumnMenu(QTreeView* LV) {
    QHeaderView* header = LV->header();
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(header, &QWidget::customContextMenuRequested, LV, [LV, header](const QPoint& at) {
        QMenu menu(LV);
        menu.setTitle(QStringLiteral("显示的列"));
        fillColumnMenu(menu, LV);
        menu.exec(header->viewport()->mapToGlobal(at));
    });
}

} // namespace listlayout
