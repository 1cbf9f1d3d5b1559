#pragma once
// A statement whose result the list shows (a search or the birthday reminder), together with the
// values bound to it, so that the very same query can be run again after a save.
#include <QString>
#include <QStringList>

struct Query {
    QString where;      // the condition after "where", with ? for every bound value
    QStringList binds;  // bound in order, always as text
    QString order = {}; // what comes after "order by"; empty: the table's order

    bool isEmpty() const { return where.isEmpty(); }
    friend bool operator==(const Query&, const Query&) = default;
};
