#include "gui/print/ListPrintPreview.h"

#include "core/app/Messages.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPdfWriter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QSaveFile>
#include <QGuiApplication>
#include <QScreen>
#include <QToolBar>
#include <algorithm>

ListPrintPreview::ListPrintPreview(QPrinter& printer, PrintJob job, Dialogs& dialogs, QWidget* parent)
    : QPrintPreviewDialog(&printer, parent), job_(std::move(job)), dialogs_(dialogs), style_(new QComboBox(this)) {
    setObjectName(QStringLiteral("ListPrintPreview"));
    setWindowTitle(QStringLiteral("打印预览 - %1").arg(job_.title));
    connect(this, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* target) { pagesShown_ = paintPages(*target, job_); });
    style_->setObjectName(QStringLiteral("PrintStyle"));
    style_->setAccessibleName(QStringLiteral("打印样式"));
    style_->addItem(QStringLiteral("电话列表"), int(printlayout::Style::PhoneList));
    style_->addItem(QStringLiteral("名片（带照片）"), int(printlayout::Style::Cards));
    style_->setCurrentIndex(job_.style == printlayout::Style::Cards ? 1 : 0);
    connect(style_, &QComboBox::currentIndexChanged, this,
            [this](int index) { setPrintStyle(static_cast<printlayout::Style>(style_->itemData(index).toInt())); });
    auto* pdf = new QAction(QStringLiteral("导出 PDF..."), this);
    pdf->setObjectName(QStringLiteral("savePdf"));
    pdf->setToolTip(QStringLiteral("把这些页保存为 PDF 文件"));
    connect(pdf, &QAction::triggered, this, &ListPrintPreview::savePdf);
    // The preview's own toolbar takes the choice and the PDF button at its start, where a narrow
    // window does not push them into the toolbar's overflow.
    if (auto* toolbar = findChild<QToolBar*>()) {
        QAction* first = toolbar->actions().value(0);
        toolbar->insertWidget(first, style_);
        toolbar->insertAction(first, pdf);
        toolbar->insertSeparator(first);
    }
    // A page large enough to read the names on.
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        resize(std::min(1000, room.width() * 9 / 10), std::min(900, room.height() * 9 / 10));
    }
}

void ListPrintPreview::setPrintStyle(printlayout::Style style) {
    job_.style = style;
    if (style_->currentIndex() != (style == printlayout::Style::Cards ? 1 : 0))
        style_->setCurrentIndex(style == printlayout::Style::Cards ? 1 : 0);
    if (auto* preview = findChild<QPrintPreviewWidget*>())
        preview->updatePreview();
}

bool ListPrintPreview::writePdf(const QString& path, QString* error) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setTitle(job_.title);
        writer.setCreator(QStringLiteral("zinteva"));
        useA4(writer);
        if (paintPages(writer, job_) == 0) {
            file.cancelWriting();
            *error = QStringLiteral("不能生成 PDF");
            return false;
        }
    } // the writer finishes the file when it goes
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void ListPrintPreview::savePdf() {
    QString path = dialogs_.saveFile(this, {QStringLiteral("导出 PDF"), QStringLiteral("PDF 文件 (*.pdf)|*.pdf")});
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
        path += QStringLiteral(".pdf");
        if (QFileInfo::exists(path) &&
            dialogs_.show(this, msg::confirm(QStringLiteral("%1 已经存在。\n要替换它吗?").arg(QDir::toNativeSeparators(path)))) !=
                MsgAnswer::Yes)
            return;
    }
    QString error;
    if (!writePdf(path, &error)) {
        dialogs_.show(this, msg::warning(QStringLiteral("不能保存 PDF 文件 %1: %2").arg(QDir::toNativeSeparators(path), error)));
        return;
    }
    dialogs_.show(this, msg::info(QStringLiteral("已保存为 %1").arg(QDir::toNativeSeparators(path))));
}
