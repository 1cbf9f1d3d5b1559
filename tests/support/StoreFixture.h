#pragma once
// A temporary program folder with a fresh data file, a settings file of its own, a fixed today and
// the recording dialogs, with the session on top: everything a test of the rules needs, without a
// window (support/Fixture.h adds the main window).
#include "core/rules/AppState.h"
#include "core/store/ContactFields.h"
#include "core/store/DataFiles.h"
#include "core/text/Clock.h"
#include "support/FakeDialogs.h"

#include <QTemporaryDir>
#include <memory>

class Settings;
class Store;

class StoreFixture {
public:
    explicit StoreFixture(QDate today = QDate(2025, 3, 10));
    virtual ~StoreFixture();

    QTemporaryDir dir;
    DataPaths paths;
    FakeDialogs dialogs;
    FixedClock clock;
    std::unique_ptr<Settings> settings;
    AppState state;

    // Opens the data file as the load step would.
    Store& open();

    // Data for a test, written straight to the data file.
    QString addGroup(const QString& name);
    QString addContact(const QString& groupKey, const QString& name, std::optional<QDate> birthday = {},
                       const QString& mobile = {});
    int count(const char* sql);
};

ContactFields contact(const QString& groupKey, const QString& name);
