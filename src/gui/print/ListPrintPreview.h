#pragma once
// The print preview of the list: the phone list or the cards, chosen in the preview's toolbar, then
// printed, or written as a PDF file.
#include "gui/print/ListPrinter.h"

#include <QPrintPreviewDialog>

class Dialogs;
class QComboBox;
class QPrinter;

class ListPrintPreview : public QPrintPreviewDialog {
    Q_OBJECT
public:
    // `printer` outlives the dialog; the file dialog and the messages go through `dialogs`.
    ListPrintPreview(QPrinter& printer, PrintJob job, Dialogs& dialogs, QWidget* parent = nullptr);

    void setPrintStyle(printlayout::Style style);
    printlayout::Style printStyle() const { return job_.style; }
    // Asks for a file and writes the pages there as a PDF; the user is told where, or why not.
    void savePdf();
    // Writes the pages as a PDF file that replaces `path` only once whole.
    bool writePdf(const QString& path, QString* error) const;
    // Pages painted by the last painting of the preview.
    int pagesShown() const { return pagesShown_; }

private:
    PrintJob job_;
    Dialogs& dialogs_;
    QComboBox* style_;
    int pagesShown_ = 0;
};
