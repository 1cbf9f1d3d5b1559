#pragma once
// Paints what the list shows onto pages: a phone list (姓名, 移动电话, the other numbers) or cards
// with pictures, with a title, the date and page numbers. The same painting goes to the print
// preview, the printer and a PDF file.
#include "core/rules/PrintLayout.h"

#include <QDate>
#include <QFont>
#include <QImage>
#include <functional>
#include <vector>

class QPagedPaintDevice;

struct PrintJob {
    QString title; // "同事 · 56 人"
    std::vector<printlayout::Entry> entries;
    printlayout::Style style = printlayout::Style::PhoneList;
    // Cards: the person's picture, or a null image.
    std::function<QImage(const QString& key)> photoOf;
    QDate printedOn;
};

// The pages' font. Droid Sans Fallback first: Noto Sans CJK maps the Kangxi radicals to the glyphs
// of the ideographs (⽉ and 月 are one glyph), and Qt's PDF writer then gives the glyph the
// radical's code, so that 月, 金 or 页 copied or searched in the PDF are other characters.
QFont printFont(qreal points, bool bold = false);

// Paints every page of the job on `device` (its page layout as set by the caller) and returns how
// many pages were painted; 0 when the device cannot be painted on.
int paintPages(QPagedPaintDevice& device, const PrintJob& job);
// The A4 portrait layout with 15 mm margins the pages are made for.
void useA4(QPagedPaintDevice& device);
