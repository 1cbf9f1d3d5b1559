#pragma once
// How a card's properties beyond the columns become typed values (store/ContactFields.h) and back:
// which property is which catalogue field, the label read from its types (手机, 工作, 家庭, 传真...,
// or the sender's own label), and the line written for a value that has no line of its own (a value
// typed in the program, or edited since it was read).
#include "core/store/ContactFields.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace typedcard {

// The typed field a property is read into when no column took it, or nothing. `service` is the
// IMPP's X-SERVICE-TYPE or scheme ("weixin", "skype"), `label` an Apple X-ABLabel of its group.
std::optional<catalogue::Field> fieldOf(const QByteArray& name, const QByteArray& service, const QString& label);

// The label the user reads for a property's types; `ownLabel` (an X-ABLabel) wins when set.
QString labelOf(catalogue::Field field, const QList<QByteArray>& types, const QString& ownLabel,
                const QByteArray& name, const QByteArray& service);

// The content lines (vCard 3.0, unfolded) made from a value: usually one; two when its label needs
// an X-ABLabel of its own (`item` numbers that group).
QStringList linesFor(const TypedValue& value, int item);

// The number of a 3.0 phone type for a column's label, for the tests and the form: "手机" is CELL.
QString typesOfLabel(catalogue::Field field, const QString& label);

} // namespace typedcard
