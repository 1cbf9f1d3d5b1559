#include "core/app/RemindCommand.h"

#include "core/app/CommandLine.h"
#include "core/app/Settings.h"
#include "core/app/StartupGuard.h"
#include "core/store/Store.h"
#include "core/text/Clock.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
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
        // While the read lasts, the program's own lock is held if no window holds it, so that no
        // window restores the data file from its backup under the read. A running window keeps its
        // lock; SQLite's own locking then keeps the read whole.
        QLockFile lock(StartupGuard::lockPathFor(QFileInfo(dataFile).absolutePath()));
        lock.setStaleLockTime(0);
        const bool held = lock.tryLock(0);
        Q_UNUSED(held)
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
