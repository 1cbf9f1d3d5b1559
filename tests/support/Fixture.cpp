#include "support/Fixture.h"

#include "core/app/Settings.h"
#include "gui/app/MainWindow.h"

#include <QDialog>

Fixture::Fixture(QDate today) : StoreFixture(today) {
    // A form no test answered is shown for real, as the user would see it.
    dialogs.unanswered = [](QDialog& form) { return form.exec(); };
}

Fixture::~Fixture() {
    window_.reset();
}

Frm_main& Fixture::window(bool remindAtStart) {
    if (!window_) {
        if (!settings->text(setting::Birthday).size())
            settings->setText(setting::Birthday, remindAtStart ? QStringLiteral("1") : QStringLiteral("0"));
        state.Conn.reset();
        window_ = std::make_unique<Frm_main>(state, paths);
        window_->Form_Load();
    }
    return *window_;
}

void Fixture::closeWindow() {
    if (window_)
        window_->close();
    window_.reset();
}
