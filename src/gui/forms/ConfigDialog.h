#pragma once
// Frm_config: the reminder settings. The day count is set with the arrows beside the text box or
// typed into it, and the start-up reminder with the check box; OK keeps both for this run and in the settings store,
// Cancel and the close box keep nothing.
#include <QDialog>

#include "core/rules/AppState.h"
class QCheckBox;
class QLineEdit;
class QPushButton;
class UpDown;

class Frm_config : public QDialog {
    Q_OBJECT
public:
    // The reminder window the arrows allow: 0 is "today only", 10 the default.
    static constexpr int MinimumDays = 0;
    static constexpr int MaximumDays = 30;

    explicit Frm_config(AppState& state, QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void UpDown1_Change();
    void takeTypedDays();
    void Command1_Click();

    AppState& state_;
    QLineEdit* text1_;
    UpDown* upDown1_;
    QCheckBox* check1_;
    QCheckBox* loginBox_; // the login reminder: an autostart entry running `zinteva --remind`
    QPushButton* command1_;
    QPushButton* command2_;
};

// Opens the settings dialog modally over the owner and returns when it has closed.
void openConfigDialog(AppState& state, QWidget* owner);
