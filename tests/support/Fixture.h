#pragma once
// A temporary program folder with a fresh data file, a settings file of its own, a fixed today and
// the recording dialogs: everything a test of the program needs, nothing of the user's.
#include "core/rules/AppState.h"
#include "core/text/Clock.h"
#include "core/store/ContactFields.h"
#include "core/store/DataFiles.h"
#include "support/FakeDialogs.h"

#include <QTemporaryDir>
#include <memory>

class Settings;
class Store;
class Frm_main;

class Fixture {
public:
    explicit Fixture(QDate today = QDate(2025, 3, 10));
    ~Fixture();

    QTemporaryDir dir;
    DataPaths paths;
    FakeDialogs dialogs;
    FixedClock clock;
    std::unique_ptr<Settings> settings;
    AppState state;

    // Opens the data file as the load step would, without a window.
    Store& open();
    // A main window with the load step run (the start-up reminder off unless asked for).
    Frm_main& window(bool remindAtStart = false);
    Frm_main* existingWindow() const { return window_.get(); }
    void closeWindow();

    // Data for a test, written straight to the data file.
    QString addGroup(const QString& name);
    QString addContact(const QString& groupKey, const QString& name, std::optional<QDate> birthday = {},
                       const QString& mobile = {});
    int count(const char* sql);

private:
    std::unique_ptr<Frm_main> window_;
};

ContactFields contact(const QString& groupKey, const QString& name);
