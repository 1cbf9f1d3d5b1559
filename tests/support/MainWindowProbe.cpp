#include "support/MainWindowProbe.h"

#include "gui/app/MainWindow.h"
#include "gui/app/Commands.h"
#include "gui/list/ContactListModel.h"
#include "gui/tree/GroupTreeModel.h"

#include <QTest>
#include <QTreeView>

QStringList listKeys(Frm_main& w) {
    QStringList keys;
    for (int row = 0; row < w.listModel()->rowCount(); ++row)
        keys << w.listModel()->keyAt(row);
    return keys;
}

QStringList listNames(Frm_main& w) {
    QStringList names;
    for (int row = 0; row < w.listModel()->rowCount(); ++row)
        names << w.listModel()->data(w.listModel()->index(row, 0), Qt::DisplayRole).toString();
    return names;
}

QString currentNodeKey(Frm_main& w) {
    return w.treeModel()->keyOf(w.TV()->currentIndex());
}

void clickNode(Frm_main& w, const QString& key) {
    const QModelIndex node = w.treeModel()->indexForKey(key);
    QVERIFY2(node.isValid(), qPrintable(key));
    w.TV()->setCurrentIndex(node);
    TV_NodeClick(w.view(), node);
}

void selectRow(Frm_main& w, const QString& key) {
    const int row = w.listModel()->rowOfKey(key);
    QVERIFY2(row >= 0, qPrintable(key));
    w.LV()->setCurrentIndex(w.listModel()->index(row, 0));
}
