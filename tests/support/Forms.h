#pragma once
// Driving the record form in a test: reaching its boxes, and acting on a form that the code under
// test shows modally (the act runs inside the form's own event loop).
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class frm_detail;
class FakeDialogs;
class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

QLineEdit* box(const QWidget& form, int number); // Text1 to Text15
QComboBox* groupChoice(const QWidget& form);     // Cgroup
QLabel* photoArea(const QWidget& form);          // Image1
bool showsPlaceholder(const QWidget& form);
// Types into a box as the user would: ASCII key by key, anything else through an input method.
void type(QLineEdit* box, const QString& text);

// Answers the next record form the code under test opens modally: the form is shown, `act` runs
// on it, and a form `act` left open is closed as cancelled. No timer, no event loop of its own.
class ModalForm {
public:
    ModalForm(FakeDialogs& dialogs, std::function<void(frm_detail&)> act);
    bool seen() const { return *seen_; }

private:
    std::shared_ptr<bool> seen_ = std::make_shared<bool>(false);
};
