#pragma once
// Driving the record form in a test: reaching its boxes, and acting on a form that the code under
// test shows modally (the act runs inside the form's own event loop).
#include <QObject>
#include <QTimer>
#include <functional>

class frm_detail;
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

// While alive, waits for a record form to be shown modally, runs `act` on it once, and then closes
// it if `act` left it open, so that the modal call returns.
class ModalForm : public QObject {
public:
    explicit ModalForm(std::function<void(frm_detail&)> act);
    bool seen() const { return seen_; }

private:
    std::function<void(frm_detail&)> act_;
    QTimer poll_;
    bool seen_ = false;
};
