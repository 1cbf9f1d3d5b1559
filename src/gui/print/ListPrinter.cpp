#include "gui/print/ListPrinter.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

using printlayout::Entry;
using printlayout::Page;

QFont printFont(qreal points, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("Droid Sans Fallback"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Noto Sans")});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void useA4(QPagedPaintDevice& device) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                     QPageLayout::Millimeter));
}

namespace {

// Lengths on the page: millimetres in the device's pixels.
class Sheet {
public:
    Sheet(QPagedPaintDevice& device, QPainter& painter)
        : device_(device), painter_(painter), dpi_(device.logicalDpiY()),
          area_(QPointF(0, 0), device.pageLayout().paintRectPixels(device.logicalDpiY()).size()) {}

    qreal mm(qreal millimetres) const { return millimetres * dpi_ / 25.4; }
    QRectF area() const { return area_; }
    QPainter& painter() { return painter_; }
    QFontMetricsF metrics(const QFont& font) const { return QFontMetricsF(font, &device_); }

    void text(const QRectF& box, int flags, const QString& text, const QFont& font, const QColor& colour = Qt::black) {
        painter_.setFont(font);
        painter_.setPen(colour);
        painter_.drawText(box, flags, text);
    }
    // One line, cut with an ellipsis when it is wider than the box.
    void line(const QRectF& box, const QString& text, const QFont& font, const QColor& colour = Qt::black) {
        this->text(box, Qt::AlignLeft | Qt::AlignVCenter,
                   metrics(font).elidedText(text, Qt::ElideRight, box.width()), font, colour);
    }

    // Title and date at the top, the page number at the bottom; returns the body between them.
    QRectF frame(const QString& title, const QDate& printedOn, int page, int pages) {
        const QFont titleFont = printFont(14, true);
        const QFont small = printFont(9);
        const qreal titleHeight = metrics(titleFont).height();
        const QRectF top(area_.left(), area_.top(), area_.width(), titleHeight);
        const QString date = printedOn.isValid() ? printedOn.toString(QStringLiteral("yyyy-MM-dd")) : QString();
        const qreal dateWidth = metrics(small).horizontalAdvance(date) + mm(2);
        line(top.adjusted(0, 0, -dateWidth, 0), title, titleFont);
        text(top, Qt::AlignRight | Qt::AlignVCenter, date, small, Qt::darkGray);
        const qreal footerHeight = metrics(small).height();
        const QRectF bottom(area_.left(), area_.bottom() - footerHeight, area_.width(), footerHeight);
        text(bottom, Qt::AlignCenter, printlayout::pageNumberText(page, pages), small, Qt::darkGray);
        return QRectF(area_.left(), top.bottom() + mm(4), area_.width(),
                      bottom.top() - mm(3) - (top.bottom() + mm(4)));
    }

private:
    QPagedPaintDevice& device_;
    QPainter& painter_;
    qreal dpi_;
    QRectF area_;
};

// The phone list's three columns, as parts of the width.
constexpr qreal NameShare = 0.26;
constexpr qreal MobileShare = 0.24;

struct ListMeasure {
    QFont body = printFont(10.5);
    QFont header = printFont(10.5, true);
    qreal lineHeight = 0;
    qreal padding = 0;
    qreal headerHeight = 0;
    qreal othersWidth = 0;
};

// The other numbers on one line when they fit, else one number a line.
QStringList otherLines(const Entry& entry, const QFontMetricsF& metrics, qreal width) {
    const QString joined = entry.otherNumbers.join(QStringLiteral("   "));
    if (entry.otherNumbers.size() <= 1 || metrics.horizontalAdvance(joined) <= width)
        return entry.otherNumbers.isEmpty() ? QStringList() : QStringList{joined};
    return entry.otherNumbers;
}

int paintPhoneList(QPagedPaintDevice& device, Sheet& sheet, const PrintJob& job) {
    ListMeasure m;
    const QFontMetricsF metrics = sheet.metrics(m.body);
    m.lineHeight = metrics.height();
    m.padding = sheet.mm(1.6);
    m.headerHeight = sheet.metrics(m.header).height() + 2 * m.padding;
    const qreal width = sheet.area().width();
    const qreal nameWidth = width * NameShare, mobileWidth = width * MobileShare;
    m.othersWidth = width - nameWidth - mobileWidth;

    // The body's height comes from a page frame painted nowhere: the same for every page.
    std::vector<QStringList> others;
    std::vector<double> heights;
    others.reserve(job.entries.size());
    heights.reserve(job.entries.size());
    for (const Entry& entry : job.entries) {
        others.push_back(otherLines(entry, metrics, m.othersWidth - m.padding));
        heights.push_back(std::max<qsizetype>(1, others.back().size()) * m.lineHeight + 2 * m.padding);
    }
    const qreal titleHeight = sheet.metrics(printFont(14, true)).height();
    const qreal footerHeight = sheet.metrics(printFont(9)).height();
    const qreal bodyHeight = sheet.area().height() - titleHeight - sheet.mm(4) - footerHeight - sheet.mm(3) - m.headerHeight;
    const std::vector<Page> pages = printlayout::paginate(heights, bodyHeight);

    QPainter& painter = sheet.painter();
    const int pageCount = static_cast<int>(pages.size());
    for (int p = 0; p < pageCount; ++p) {
        if (p > 0)
            device.newPage();
        const QRectF body = sheet.frame(job.title, job.printedOn, p + 1, pageCount);
        qreal y = body.top();
        const qreal columns[] = {body.left(), body.left() + nameWidth, body.left() + nameWidth + mobileWidth};
        const QString headers[] = {QStringLiteral("姓名"), QStringLiteral("移动电话"), QStringLiteral("其它电话")};
        const qreal widths[] = {nameWidth, mobileWidth, m.othersWidth};
        painter.fillRect(QRectF(body.left(), y, body.width(), m.headerHeight), QColor(0xe8, 0xe8, 0xe8));
        for (int c = 0; c < 3; ++c)
            sheet.line(QRectF(columns[c] + m.padding, y, widths[c] - 2 * m.padding, m.headerHeight), headers[c], m.header);
        y += m.headerHeight;
        if (job.entries.empty())
            sheet.line(QRectF(body.left() + m.padding, y + m.padding, body.width(), m.lineHeight),
                       QStringLiteral("（列表中没有联系人）"), m.body, Qt::darkGray);
        painter.setPen(QPen(QColor(0xc0, 0xc0, 0xc0), sheet.mm(0.2)));
        for (int i = pages[p].first; i < pages[p].first + pages[p].count; ++i) {
            const Entry& entry = job.entries[static_cast<size_t>(i)];
            const qreal top = y + m.padding;
            sheet.line(QRectF(columns[0] + m.padding, top, nameWidth - 2 * m.padding, m.lineHeight), entry.name, m.body);
            sheet.line(QRectF(columns[1] + m.padding, top, mobileWidth - 2 * m.padding, m.lineHeight), entry.mobile, m.body);
            const QStringList& lines = others[static_cast<size_t>(i)];
            for (qsizetype l = 0; l < lines.size(); ++l)
                sheet.line(QRectF(columns[2] + m.padding, top + l * m.lineHeight, m.othersWidth - 2 * m.padding, m.lineHeight),
                           lines[l], m.body);
            y += heights[static_cast<size_t>(i)];
            painter.setPen(QPen(QColor(0xc0, 0xc0, 0xc0), sheet.mm(0.2)));
            painter.drawLine(QPointF(body.left(), y), QPointF(body.right(), y));
        }
    }
    return pageCount;
}

// A person without a picture: the first character of the name on a grey square, as phones show it.
void paintInitial(Sheet& sheet, const QRectF& box, const QString& name) {
    sheet.painter().fillRect(box, QColor(0xe4, 0xe4, 0xe4));
    const QString initial = name.isEmpty() ? QString() : name.left(name.at(0).isHighSurrogate() ? 2 : 1);
    sheet.text(box, Qt::AlignCenter, initial, printFont(26, true), QColor(0x70, 0x70, 0x70));
}

void paintCard(Sheet& sheet, const QRectF& card, const Entry& entry, const QImage& photo) {
    QPainter& painter = sheet.painter();
    painter.setPen(QPen(QColor(0x90, 0x90, 0x90), sheet.mm(0.3)));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(card, sheet.mm(2), sheet.mm(2));
    const qreal pad = sheet.mm(3);
    const QRectF inner = card.adjusted(pad, pad, -pad, -pad);
    // The picture three parts wide to four high, at the card's left.
    const qreal photoHeight = std::min(inner.height(), inner.width() * 0.45 * 4 / 3);
    const QRectF photoBox(inner.left(), inner.top(), photoHeight * 3 / 4, photoHeight);
    if (photo.isNull()) {
        paintInitial(sheet, photoBox, entry.name);
    } else {
        // No more pixels than about 200 dpi of the box: a camera's photo would make the PDF huge.
        const QSize fit = photo.size().scaled(photoBox.size().toSize(), Qt::KeepAspectRatio);
        const QSize pixels = fit * std::min<qreal>(1.0, 200.0 / sheet.mm(25.4));
        const QImage shown = photo.scaled(pixels.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QRectF target{QPointF(), QSizeF(fit)};
        target.moveCenter(photoBox.center());
        painter.drawImage(target, shown);
    }
    const QRectF textBox(photoBox.right() + pad, inner.top(), inner.right() - photoBox.right() - pad, inner.height());
    const QFont nameFont = printFont(13, true);
    const QFont body = printFont(10);
    const qreal nameHeight = sheet.metrics(nameFont).height();
    sheet.line(QRectF(textBox.left(), textBox.top(), textBox.width(), nameHeight), entry.name, nameFont);
    qreal y = textBox.top() + nameHeight + sheet.mm(1.5);
    const qreal lineHeight = sheet.metrics(body).height() * 1.15;
    QStringList lines;
    if (!entry.mobile.isEmpty())
        lines << QStringLiteral("移动电话 ") + entry.mobile;
    lines += entry.otherNumbers;
    for (const QString& text : lines) {
        if (y + lineHeight > textBox.bottom())
            break;
        sheet.line(QRectF(textBox.left(), y, textBox.width(), lineHeight), text, body);
        y += lineHeight;
    }
}

int paintCards(QPagedPaintDevice& device, Sheet& sheet, const PrintJob& job) {
    const std::vector<Page> pages = printlayout::cardPages(static_cast<int>(job.entries.size()));
    const int pageCount = static_cast<int>(pages.size());
    const qreal gap = sheet.mm(4);
    for (int p = 0; p < pageCount; ++p) {
        if (p > 0)
            device.newPage();
        const QRectF body = sheet.frame(job.title, job.printedOn, p + 1, pageCount);
        if (job.entries.empty())
            sheet.line(QRectF(body.left(), body.top(), body.width(), sheet.metrics(printFont(10.5)).height()),
                       QStringLiteral("（列表中没有联系人）"), printFont(10.5), Qt::darkGray);
        const qreal cardWidth = (body.width() - gap * (printlayout::CardColumns - 1)) / printlayout::CardColumns;
        const qreal cardHeight = (body.height() - gap * (printlayout::CardRows - 1)) / printlayout::CardRows;
        for (int n = 0; n < pages[p].count; ++n) {
            const Entry& entry = job.entries[static_cast<size_t>(pages[p].first + n)];
            const int column = n % printlayout::CardColumns, row = n / printlayout::CardColumns;
            const QRectF card(body.left() + column * (cardWidth + gap), body.top() + row * (cardHeight + gap), cardWidth,
                              cardHeight);
            paintCard(sheet, card, entry, job.photoOf ? job.photoOf(entry.key) : QImage());
        }
    }
    return pageCount;
}

} // namespace

int paintPages(QPagedPaintDevice& device, const PrintJob& job) {
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    Sheet sheet(device, painter);
    const int pages = job.style == printlayout::Style::Cards ? paintCards(device, sheet, job)
                                                            : paintPhoneList(device, sheet, job);
    painter.end();
    return pages;
}
