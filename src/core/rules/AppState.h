#pragma once
// The program's one state object: the variables every window shares, alive for the whole run.
// Nothing else in the program is a mutable global.
#include "core/store/OpenOptions.h"
#include "core/store/Query.h"

#include <QString>
#include <memory>

class Store;
class Dialogs;
class Clock;
class Settings;

// What a test replaces: the dialogs, today's date, the settings store and the program's folder.
struct Environment {
    Dialogs* dialogs = nullptr;
    const Clock* clock = nullptr;
    Settings* settings = nullptr;
    QString programDir;
};

struct AppState {
    Environment env;
    OpenOptions storeOptions; // how the load step opens the data file; a test may name a fault VFS

    std::shared_ptr<Store> Conn; // opened by the load step, released by the close step
    bool EditFlag = false;       // true exactly while a record form is open for a new person
    QString CurrentGroup;        // key of the tree node the last action worked on
    QString CurrentContactId;    // key of the person last opened in or saved from the record form
    QString NewGroupName;        // the name typed for a new group, at most 30 characters
    Query QuerySql;              // the search or reminder whose result the list shows
    bool ListSource = false;     // true while the list shows the result of QuerySql
    int RemindDays = 10;         // setting "day"
    int RemindAtStart = 1;       // setting "birthday"
    bool StartupRemind = false;  // true only while the load step runs the reminder
};
