#include "support/Forms.h"

#include "support/FakeDialogs.h"

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

ModalForm::ModalForm(FakeDialogs& dialogs, std::function<void(frm_detail&)> act) {
    dialogs.formAnswers.push_back([seen = seen_, act = std::move(act)](QDialog& dialog) {
        auto* form = qobject_cast<frm_detail*>(&dialog);
        if (!form)
            return int(QDialog::Rejected);
        *seen = true;
        form->setWindowModality(Qt::ApplicationModal); // as exec() shows it
        form->show();
        act(*form);
        if (form->isVisible())
            form->done(QDialog::Rejected); // closes without the unsaved-changes question
        return form->result();
    });
}
