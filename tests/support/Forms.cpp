#include "support/Forms.h"

#include "gui/forms/RecordForm.h"
#include "gui/shared/Pictures.h"

#include <QApplication>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

QLineEdit* box(const QWidget& form, int number) {
    return form.findChild<QLineEdit*>(QStringLiteral("Text%1").arg(number));
}
QComboBox* groupChoice(const QWidget& form) {
    return form.findChild<QComboBox*>(QStringLiteral("Cgroup"));
}
QLabel* photoArea(const QWidget& form) {
    return form.findChild<QLabel*>(QStringLiteral("Image1"));
}

bool showsPlaceholder(const QWidget& form) {
    const QLabel* image = photoArea(form);
    return image->pixmap().toImage() == pictures::photoPlaceholder(image->size()).toImage();
}

void type(QLineEdit* box, const QString& text) {
    box->setFocus();
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(box, c.toLatin1());
        } else {
            // Chinese comes from an input method, not from key presses.
            QInputMethodEvent typed;
            typed.setCommitString(QString(c));
            QApplication::sendEvent(box, &typed);
        }
    }
}

ModalForm::ModalForm(std::function<void(frm_detail&)> act) : act_(std::move(act)) {
    poll_.setInterval(0);
    connect(&poll_, &QTimer::timeout, this, [this] {
        auto* form = qobject_cast<frm_detail*>(QApplication::activeModalWidget());
        if (!form)
            return;
        poll_.stop();
        seen_ = true;
        act_(*form);
        if (form->isVisible())
            form->reject();
    });
    poll_.start();
}
