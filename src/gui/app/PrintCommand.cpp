#include "core/store/Store.h"
#include "core/store/StoreError.h"
#include "core/text/Clock.h"
#include "gui/app/MainWindow.h"
#include "gui/app/OutputCommands.h"
#include "gui/list/ContactListModel.h"
#include "gui/print/ListPrintPreview.h"

#include <QPrinter>
#include <QLabel>

void printContactList(MainView& view) {
    PrintJob job;
    job.entries = printlayout::entriesOf(view.list->rows());
    // The pages say what the line over the list says: whose rows, how many (and how many shown).
    job.title = view.main->listCaption()->text();
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
