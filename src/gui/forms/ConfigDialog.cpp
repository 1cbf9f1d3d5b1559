#include "gui/forms/ConfigDialog.h"

#include "core/app/Autostart.h"
#include "core/app/Messages.h"
#include "core/app/Settings.h"
#include "gui/forms/UpDown.h"
#include "core/app/Messages.h"
#include "core/rules/AppState.h"
#include "gui/shared/KeyTips.h"
#include "gui/shared/Pictures.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <algorithm>

Frm_config::Frm_config(AppState& state, QWidget* parent)
    : QDialog(parent), state_(state), text1_(new QLineEdit), upDown1_(new UpDown),
      check1_(new QCheckBox(QStringLiteral("启动时生日好友显示"))),
      loginBox_(new QCheckBox(QStringLiteral("登录桌面时用通知提醒生日"))), command1_(new QPushButton(QStringLiteral("确定"))),
      command2_(new QPushButton(QStringLiteral("取消"))) {
    setObjectName(QStringLiteral("Frm_config"));
    setWindowTitle(QStringLiteral("meldra配置"));
    setWindowIcon(pictures::application());

    auto* frame1 = new QGroupBox(QStringLiteral("详细配置"));
    frame1->setObjectName(QStringLiteral("Frame1"));
    auto* label1 = new QLabel(QStringLiteral("生日提醒天数："));
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setBuddy(text1_); // also gives the text box its accessible name

    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setToolTip(QStringLiteral("提醒生日的天数,0则只查当天生日的"));
    text1_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    text1_->setFixedWidth(text1_->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
    text1_->installEventFilter(this);
    // A number typed into the text box counts as much as the arrows: once the typing ends (or at OK)
    // it moves the arrows' value, brought into their range, and the box shows what OK keeps.
    text1_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), text1_));
    connect(text1_, &QLineEdit::editingFinished, this, &Frm_config::takeTypedDays);

    upDown1_->setObjectName(QStringLiteral("UpDown1"));
    upDown1_->setToolTip(QStringLiteral("更改日期"));
    upDown1_->setAccessibleName(label1->text());
    upDown1_->setRange(MinimumDays, MaximumDays);
    upDown1_->setSingleStep(1);
    upDown1_->setFixedHeight(text1_->sizeHint().height());
    connect(upDown1_, &UpDown::valueChanged, this, &Frm_config::UpDown1_Change);

    check1_->setObjectName(QStringLiteral("Check1"));
    check1_->setToolTip(QStringLiteral("如果最近有好友生日在启动时提示"));

    auto* buddyPair = new QHBoxLayout; // the arrows sit against their text box
    buddyPair->setSpacing(0);
    buddyPair->addWidget(text1_);
    buddyPair->addWidget(upDown1_);
    auto* dayRow = new QHBoxLayout;
    dayRow->addWidget(label1);
    dayRow->addLayout(buddyPair);
    dayRow->addStretch();
    auto* frameLayout = new QVBoxLayout(frame1);
    frameLayout->addLayout(dayRow);
    frameLayout->addWidget(check1_);
    loginBox_->setObjectName(QStringLiteral("loginBox"));
    loginBox_->setToolTip(QStringLiteral("每次登录时检查今天和最近几天过生日的好友,有就显示桌面通知"));
    frameLayout->addWidget(loginBox_);

    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setToolTip(QStringLiteral("保存退出"));
    command1_->setDefault(true);
    keytips::add(command1_, QKeySequence(Qt::Key_Return)); // the default button
    keytips::add(command2_, QKeySequence(Qt::Key_Escape));
    command2_->setObjectName(QStringLiteral("Command2"));
    command2_->setToolTip(QStringLiteral("取消更改"));
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(command1_, QDialogButtonBox::AcceptRole);
    buttons->addButton(command2_, QDialogButtonBox::RejectRole);
    connect(command1_, &QPushButton::clicked, this, &Frm_config::Command1_Click);
    connect(command2_, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame1);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Form_Load();
}

void Frm_config::Form_Load() {
    // The stored day count can have been edited outside the program; it is shown within the range the
    // arrows allow, and kept only if the user presses OK.
    upDown1_->setValue(std::clamp(state_.RemindDays, MinimumDays, MaximumDays));
    check1_->setChecked(state_.RemindAtStart == 1); // the start-up reminder runs only for 1
    loginBox_->setChecked(autostart::isInstalled());
    UpDown1_Change();
}

void Frm_config::UpDown1_Change() {
    text1_->setText(QString::number(upDown1_->value()));
}

void Frm_config::takeTypedDays() {
    bool number = false;
    const int typed = text1_->text().toInt(&number);
    if (number)
        upDown1_->setValue(std::clamp(typed, MinimumDays, MaximumDays));
    UpDown1_Change();
}

void Frm_config::Command1_Click() {
    takeTypedDays(); // typing not yet finished by Enter or a change of focus counts too
    state_.setReminder(upDown1_->value(), check1_->isChecked() ? 1 : 0);
    state_.env.settings->setText(setting::Day, QString::number(state_.RemindDays));
    state_.env.settings->setText(setting::Birthday, QString::number(state_.RemindAtStart));
    if (loginBox_->isChecked() != autostart::isInstalled()) {
        QString error;
        const bool done = loginBox_->isChecked()
                              ? autostart::install(QCoreApplication::applicationFilePath(), &error)
                              : autostart::remove(&error);
        if (!done)
            state_.env.dialogs->show(this, msg::warning(QStringLiteral("登录提醒没有设置好: ") + error));
    }
    accept();
}

bool Frm_config::eventFilter(QObject* watched, QEvent* event) {
    // The arrow keys in the text box step the count, as the arrows beside it do.
    if (watched == text1_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            upDown1_->stepBy(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void openConfigDialog(AppState& state, QWidget* owner) {
    Frm_config dialog(state, owner);
    state.env.dialogs->openForm(dialog);
}
