#pragma once
// zinteva --remind: prints the birthdays of today and of the reminder window (the setting "day")
// and hands them to the desktop notification, without a window. The data file is opened read-only
// and closed again before anything is shown, so a window that starts meanwhile is not kept waiting.
#include "core/rules/BirthdayReport.h"

#include <QString>
#include <functional>

class Clock;
class QTextStream;
class Settings;

struct RemindServices {
    const Clock* clock = nullptr; // the system's clock when not set
    Settings* settings = nullptr; // the user's settings when not set
    // Shows the report as a desktop notification (called only when it names somebody); false with a
    // reason when it could not be shown. Not set: nothing is shown beyond the printed lines.
    std::function<bool(const BirthdayReport& report, QString* error)> notify;
};

// The exit code: 0 when the reminder was printed (and shown), 1 when the data file could not be read
// or the notification could not be shown.
int runRemind(const QString& dataFile, QTextStream& out, const RemindServices& services);
