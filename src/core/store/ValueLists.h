#pragma once
// A person's numbers and e-mail addresses as lists, and the columns of phone that stand for the first
// of each kind: 移动电话 is the first number labelled 手机, 工作电话 the first 工作 one, 家庭电话 the
// first 家庭 one, 传真号码 the first 传真 one, 邮件地址 the first e-mail address. The record form
// shows the lists and the columns side by side and keeps them agreeing through these rules; the store
// applies the same rule when it writes a person, so that the list, the export and the sync see one
// person whichever way a value was typed.
#include "core/store/ContactFields.h"

#include <QStringList>
#include <span>
#include <vector>

namespace valuelists {

struct ColumnOfKind {
    QString ContactFields::*column;
    catalogue::Field field; // the typed field of the list (a number, an e-mail address)
    const char16_t* label;  // the label of the kind; nullptr: any label
};

// 移动电话, 工作电话, 家庭电话, 传真号码, 邮件地址, in that order.
std::span<const ColumnOfKind> columnKinds();

// The row `kind`'s column stands for: the first row of its field and label, or -1.
int rowOfColumn(const std::vector<TypedValue>& rows, const ColumnOfKind& kind);

// Every value of the lists, in the order the form shows them: each column's value (when not empty)
// as the first value of its kind, then the typed values as they are.
std::vector<TypedValue> spread(const ContactFields& fields);

// The columns and the typed values made from the rows: each column takes the first row of its kind
// that holds a value (empty when none); the other rows stay typed values in their order. A row left
// empty is dropped, unless it came in a card's line (kept as it came).
void gather(ContactFields& fields, const std::vector<TypedValue>& rows);

// A column's box was edited: the row the column stands for takes the text; without one, a row of its
// kind is added after the last row of its field (or at the end).
void setColumn(std::vector<TypedValue>& rows, const ColumnOfKind& kind, const QString& text);

// The parts of a structured value (an address, a company and its department) as the card wrote them,
// separated by ';', with the card's escapes undone; and back, escaped, trailing empty parts beyond the
// first `keep` left out.
QStringList structuredParts(const QString& value);
QString joinParts(const QStringList& parts, qsizetype keep);

} // namespace valuelists
