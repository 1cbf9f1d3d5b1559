#include "gui/forms/QueryForm.h"

#include "gui/forms/FieldGrid.h"
#include "gui/shared/KeyTips.h"
#include "core/app/Messages.h"
#include "core/store/Store.h"

#include <QDebug>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

// Text1 to Text14 are the record form's first fourteen boxes, in the order their conditions are
// appended.
static_assert(search::BoxCount <= static_cast<int>(fieldgrid::Boxes.size()));

Frm_query::Frm_query(QueryFormHost& host, QWidget* parent)
    : QDialog(parent), host_(host), frame_(new QGroupBox(QStringLiteral("查询资料"), this)),
      search_(new QPushButton(QStringLiteral("查询"), this)), cancel_(new QPushButton(QStringLiteral("取消"), this)) {
    setObjectName(QStringLiteral("Frm_query"));
    setWindowTitle(QStringLiteral("查询"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    frame_->setObjectName(QStringLiteral("Frame1"));

    auto* grid = new QGridLayout(frame_);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setVerticalSpacing(3); // seven rows in a small dialog
    for (int i = 0; i < search::BoxCount; ++i) {
        auto* label = new QLabel(QString::fromUtf16(fieldgrid::Boxes[i].label), frame_);
        label->setTextFormat(Qt::PlainText);
        auto* box = new QLineEdit(frame_);
        box->setObjectName(QStringLiteral("Text%1").arg(i + 1));
        box->setAccessibleName(label->text());
        fieldgrid::limitBox(box, fieldgrid::limitOf(static_cast<size_t>(i)));
        label->setBuddy(box);
        const int row = i / 2;
        const int column = (i % 2) * 2;
        grid->addWidget(label, row, column);
        grid->addWidget(box, row, column + 1);
        boxes_[i] = box;
    }
    Text(2)->setToolTip(QStringLiteral("时间格式为年-月-日"));
    // Below the fourteen: the values people are known by beyond them.
    const QString valueLabels[search::ValueBoxCount] = {QStringLiteral("单    位:"), QStringLiteral("职    务:"),
                                                        QStringLiteral("微    信:")};
    for (int i = 0; i < search::ValueBoxCount; ++i) {
        const catalogue::FieldInfo& field = catalogue::info(search::ValueBoxFields[i]);
        auto* label = new QLabel(valueLabels[i], frame_);
        label->setTextFormat(Qt::PlainText);
        auto* box = new QLineEdit(frame_);
        box->setObjectName(QStringLiteral("%1Box").arg(QLatin1String(field.id)));
        box->setAccessibleName(QString::fromUtf16(field.label));
        box->setToolTip(QStringLiteral("查找%1").arg(QString::fromUtf16(field.label)));
        fieldgrid::limitBox(box, fieldgrid::RemarksLimit);
        label->setBuddy(box);
        const int cell = search::BoxCount + i;
        grid->addWidget(label, cell / 2, (cell % 2) * 2);
        grid->addWidget(box, cell / 2, (cell % 2) * 2 + 1);
        boxes_[static_cast<size_t>(cell)] = box;
    }

    search_->setObjectName(QStringLiteral("Command1"));
    search_->setToolTip(QStringLiteral("查了哟"));
    search_->setDefault(true);
    keytips::add(search_, QKeySequence(Qt::Key_Return)); // the default button
    keytips::add(cancel_, QKeySequence(Qt::Key_Escape));
    cancel_->setObjectName(QStringLiteral("Command2"));
    cancel_->setToolTip(QStringLiteral("不查了"));
    connect(search_, &QPushButton::clicked, this, &Frm_query::Command1_Click);
    connect(cancel_, &QPushButton::clicked, this, &Frm_query::Command2_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(search_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 8);
    layout->addWidget(frame_);
    layout->addLayout(buttons);
    // A fixed dialog of about 427 x 231 pixels, larger only where the font needs it.
    setFixedSize(layout->sizeHint().expandedTo(QSize(427, 231)));

    for (int i = 1; i < search::BoxCount; ++i)
        setTabOrder(boxes_[i - 1], boxes_[i]);
    setTabOrder(boxes_[search::BoxCount - 1], search_);
    setTabOrder(search_, cancel_);
    // The value boxes come after the buttons, so that Text1 to Text14, 查询 and 取消 keep their order.
    setTabOrder(cancel_, boxes_[search::BoxCount]);
    for (int i = search::BoxCount + 1; i < search::AllBoxCount; ++i)
        setTabOrder(boxes_[i - 1], boxes_[i]);
    Text(1)->setFocus();
}

search::BoxTexts Frm_query::boxTexts() const {
    search::BoxTexts texts;
    for (int i = 0; i < search::AllBoxCount; ++i)
        texts[i] = boxes_[i]->text();
    return texts;
}

void Frm_query::Command1_Click() {
    const Query query = search::buildQuery(boxTexts());
    if (query.isEmpty())
        Text(1)->setFocus(); // the message below asks for a condition
    if (host_.searchFromForm(this, query))
        accept();
}

void Frm_query::Command2_Click() {
    reject();
}
