#include "gui/list/ListFilterBar.h"

#include "core/store/Store.h"
#include "gui/list/ContactList.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListSort.h"

#include <QDebug>
#include <QKeyEvent>
#include <QTreeView>

ListFilterBar::ListFilterBar(QTreeView* LV, ContactListModel* list, std::function<Store*()> store, QWidget* parent)
    : QLineEdit(parent), LV_(LV), list_(list), store_(std::move(store)) {
    setObjectName(QStringLiteral("ListFilter"));
    setAccessibleName(QStringLiteral("筛选联系人"));
    setPlaceholderText(QStringLiteral("筛选：姓名、拼音、电话或邮件地址 (Esc 清除)"));
    setClearButtonEnabled(true);
    hide();
    connect(this, &QLineEdit::textEdited, this, &ListFilterBar::narrow);
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty() && isVisible()) // the clear button
            narrow(text);
    });
    connect(list_, &QAbstractItemModel::modelReset, this, &ListFilterBar::fillChanged);
    // A row deleted or renamed meanwhile: the prepared texts are read again at the next key.
    connect(list_, &QAbstractItemModel::rowsRemoved, this, [this] { prepared_ = false; });
    connect(list_, &QAbstractItemModel::dataChanged, this, [this] { prepared_ = false; });
}

void ListFilterBar::open(const QString& typed) {
    show();
    setFocus(Qt::ShortcutFocusReason);
    if (!typed.isEmpty()) {
        setText(text() + typed); // not an edit of its own: narrowed once, here
        narrow(text());
    } else {
        selectAll();
    }
}

void ListFilterBar::closeFilter() {
    const bool hadText = !text().isEmpty();
    clear();
    if (hadText)
        narrow(QString());
    hide();
    filter_.clear();
    prepared_ = false;
    LV_->setFocus(Qt::OtherFocusReason);
}

void ListFilterBar::fillChanged() {
    if (narrowing_)
        return;
    // A reordering of the narrowed rows (a header click) keeps the line; a new fill closes it.
    if (list_->rows().isNarrowed())
        return;
    filter_.clear();
    prepared_ = false;
    if (isVisible()) {
        const bool focused = hasFocus();
        clear();
        hide();
        if (focused)
            LV_->setFocus(Qt::OtherFocusReason);
    }
}

void ListFilterBar::narrow(const QString& text) {
    if (!prepared_) {
        FilterKeys pinyin;
        FilterValueKeys values;
        try {
            if (Store* store = store_()) {
                pinyin = store->pinyinKeys().loadFilterKeys();
                values = store->typedValues().loadFilterValues();
            }
        } catch (const std::exception& e) {
            qDebug() << "filter keys:" << e.what(); // names, phones and addresses still match
        }
        filter_.prepare(list_->rows(), pinyin, values);
        prepared_ = true;
    }
    const QString current = list_->keyAt(selectedRow(LV_));
    const std::vector<int>& rows = filter_.match(text);
    const bool everything = static_cast<int>(rows.size()) == filter_.rowCount();
    narrowing_ = true;
    list_->showFillRows(everything ? nullptr : &rows, [this](RowTable& table) {
        Store* store = store_();
        if (store && list_->sortColumn() >= 0)
            applyListSort(*list_, *store, table);
    });
    narrowing_ = false;
    if (!current.isEmpty())
        selectRowOfKey(LV_, list_, current);
}

void ListFilterBar::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        closeFilter();
        return;
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // On to the rows found: the first one, unless one is selected already.
        if (list_->rowCount() > 0) {
            if (!LV_->selectionModel()->hasSelection())
                LV_->setCurrentIndex(list_->index(0, 0));
            LV_->setFocus(Qt::TabFocusReason);
        }
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}
