#include "support/Fixture.h"

#include "gui/app/MainWindow.h"
#include "core/app/Settings.h"
#include "core/store/Store.h"
#include "support/StoreProbe.h"

#include <QDialog>
#include <SQLiteCpp/SQLiteCpp.h>

Fixture::Fixture(QDate today) : clock(today) {
    paths = DataPaths::in(dir.path());
    Store::createEmpty(paths.data);
    settings = std::make_unique<Settings>(dir.filePath(QStringLiteral("settings.ini")));
    state.env = Environment{&dialogs, &clock, settings.get(), dir.path()};
    // A form no test answered is shown for real, as the user would see it.
    dialogs.unanswered = [](QDialog& form) { return form.exec(); };
}

Fixture::~Fixture() {
    window_.reset();
}

Store& Fixture::open() {
    if (!state.Conn)
        state.Conn = Store::open(paths.data);
    return *state.Conn;
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

QString Fixture::addGroup(const QString& name) {
    open();
    return state.Conn->addGroup(name);
}

QString Fixture::addContact(const QString& groupKey, const QString& name, std::optional<QDate> birthday,
                            const QString& mobile) {
    open();
    ContactFields f = contact(groupKey, name);
    f.birthday = birthday;
    f.mobile = mobile;
    return state.Conn->addContact(f);
}

int Fixture::count(const char* sql) {
    open();
    return storeDb(*state.Conn).execAndGet(sql).getInt();
}

ContactFields contact(const QString& groupKey, const QString& name) {
    ContactFields f;
    f.groupKey = groupKey;
    f.name = name;
    return f;
}
