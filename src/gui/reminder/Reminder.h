#pragma once
#include "gui/app/MainView.h"
#include "core/store/Query.h"

#include <QDate>
#include <QString>

// The reminder's statement: nowbirthday between today and today + days, both ends included.
// Today comes from the program's clock (the user's local date), bound as a value.
Query reminderQuery(const QDate& today, int days);
QString reminderMessage(int days, int found, bool startup); // empty: no message

#include <functional>

// Lists the people whose birthday falls in the window and says how many there are. beforeMessage
// runs once the list is settled, just before the message is shown.
void ShowBirthdayReminder(MainView& view, const std::function<void()>& beforeMessage = {});
// The toolbar's and the start-up's reminder: recompute, then list. Reports a failure to the user.
void RunBirthdayReminder(MainView& view, const std::function<void()>& beforeMessage = {});
