#include "core/store/Store.h"
#include "core/store/StoreError.h"
#include "core/text/Clock.h"
#include "gui/app/OutputCommands.h"
#include "gui/list/ContactListModel.h"
#include "gui/print/ListPrintPreview.h"
#include "gui/tree/GroupTreeModel.h"

#include <QPrinter>
#include <QTreeView>

QString printedListName(const MainView& view) {
    if (view.list->showsReminder())
        return QStringLiteral("最近 %1 天过生日").arg(view.state.RemindDays);
    const ListShows& listed = view.state.Listed;
    if (listed.isQuery())
        return QStringLiteral("查询结果");
    // The node whose people the rows are, which the tree's selection may not be.
    const QModelIndex node = listed.nodeKey.isEmpty() ? view.TV->currentIndex() : view.tree->indexForKey(listed.nodeKey);
    const QString name = node.data().toString();
    return name.isEmpty() ? QStringLiteral("联系人") : name;
}

void printContactList(MainView& view) {
    PrintJob job;
    job.entries = printlayout::entriesOf(view.list->rows());
    job.title = printlayout::titleText(printedListName(view), static_cast<int>(job.entries.size()));
    job.printedOn = view.state.env.clock ? view.state.env.clock->today() : QDate::currentDate();
    Store* store = view.state.Conn.get();
    job.photoOf = [store](const QString& key) {
        if (!store)
            return QImage();
        try {
            const std::optional<ContactFields> fields = store->loadContact(key);
            return fields && !fields->photo.isEmpty() ? QImage(fields->photo) : QImage();
        } catch (const StoreError&) {
            return QImage(); // the card shows the initial instead
        }
    };
    QPrinter printer(QPrinter::HighResolution);
    useA4(printer);
    printer.setDocName(job.title);
    ListPrintPreview preview(printer, std::move(job), *view.state.env.dialogs, view.window);
    view.state.env.dialogs->openForm(preview);
}
