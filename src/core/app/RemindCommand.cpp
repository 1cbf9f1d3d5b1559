#include "core/app/RemindCommand.h"

#include "core/app/CommandLine.h"
#include "core/app/Settings.h"
#include "core/store/DataFileLock.h"
#include "core/store/Store.h"
#include "core/text/Clock.h"

#include <QDir>
#include <QTextStream>
#include <algorithm>
#include <optional>

int runRemind(const QString& dataFile, QTextStream& out, const RemindServices& services) {
    SystemClock systemClock;
    const Clock& clock = services.clock ? *services.clock : systemClock;
    std::optional<Settings> userSettings;
    if (!services.settings)
        userSettings.emplace();
    Settings& settings = services.settings ? *services.settings : *userSettings;
    const int days = std::clamp(settings.integer(setting::Day, setting::DayDefault), setting::DayMinimum,
                                setting::DayMaximum);

    BirthdayReport report;
    {
        // While the read lasts the data file's lock is held, so that nothing restores or rewrites the
        // file under the read; a command that holds it is waited for a little. A running window keeps
        // its lock for its whole run: the read goes on without it, and SQLite's own locking keeps it
        // whole. The lock goes before anything is shown.
        DataFileLock lock(dataFile);
        if (!lock.lock(DataFileLock::Role::Command, DataFileLock::CommandWait) && !lock.holder()) {
            // Not a holder to wait for: a file that is not the user's own is not read at all.
            out << lock.errorString() << '\n';
            out.flush();
            return exitcode::Incomplete;
        }
        try {
            OpenOptions readOnly;
            readOnly.readOnly = true;
            const std::unique_ptr<Store> store = Store::open(dataFile, readOnly);
            report = birthdayReport(*store, clock.today(), days);
        } catch (const StoreError& e) {
            out << QStringLiteral("无法读取数据文件 %1：%2").arg(QDir::toNativeSeparators(dataFile), e.message()) << '\n';
            out.flush();
            return exitcode::Incomplete;
        }
    }

    out << report.summary() << '\n';
    for (const QString& line : report.lines())
        out << line << '\n';
    out.flush();
    if (report.rows.empty() || !services.notify)
        return exitcode::Success;
    QString error;
    if (!services.notify(report, &error)) {
        out << QStringLiteral("无法显示桌面通知：%1").arg(error) << '\n';
        out.flush();
        return exitcode::Incomplete;
    }
    return exitcode::Success;
}
